#pragma once

#include "controls/prompts.h"

// Answers every box at once, for benchmarks that must not wait: messages are
// dropped and questions answered Cancel.
class silent_prompts : public controls::prompts {
public:
    void message(const QString&, const QString&) override {}
    bool confirm(const QString&) override { return false; }
};
