#pragma once

#include "app/prompts.h"

#include <QDateTime>
#include <QDir>
#include <functional>

// What the main window takes from outside, so that tests can stand in for it.
struct window_seams {
    prompts* ask = nullptr;
    std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };
    // The directory the program started in: the data log and the settings
    // file live there.
    QString work_dir = QDir::currentPath();
};
