#pragma once

#include "controls/prompts.h"

#include <QStringList>

// Answers message boxes at once and remembers what they said.
class recording_prompts : public controls::prompts {
public:
    void message(const QString& text, const QString& details = {}) override {
        messages << text;
        last_details = details;
    }
    bool confirm(const QString& text) override {
        questions << text;
        return answer_ok;
    }
    bool interactive() const override { return with_display; }

    QStringList messages;
    QString last_details;
    QStringList questions;
    bool answer_ok = true;
    bool with_display = true;
};
