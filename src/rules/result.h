#pragma once

#include <QString>

namespace rules {

// What an operation that can fail answers: done, or why not, in words the
// operator can act on ("No space left on device"). A failure always has a
// reason. (A check of a value is named `…_problem` instead and answers what
// is wrong with it, empty when nothing is: it does nothing that could fail.)
class [[nodiscard]] result {
public:
    // Done.
    result() = default;
    // Not done, and why; an empty reason is made a word, never a success.
    static result failure(QString why) {
        result r;
        r.why_ = why.isEmpty() ? QStringLiteral("failed") : std::move(why);
        return r;
    }

    bool ok() const { return why_.isEmpty(); }
    explicit operator bool() const { return ok(); }
    // Why it was not done; empty when it was.
    const QString& why() const { return why_; }

    friend bool operator==(const result&, const result&) = default;

private:
    QString why_;
};

} // namespace rules
