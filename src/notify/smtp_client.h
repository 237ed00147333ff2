#pragma once

#include "rules/mail_message.h"
#include "rules/mail_settings.h"
#include "rules/result.h"

#include <atomic>
#include <chrono>

namespace notify {

// Sends one message through the mail server of `s` with libcurl's SMTP: the
// text and the chart as MIME parts, `note` (a late message's word) above the
// text. It blocks until the server has taken the message or refused it, for
// `timeout` at most, or until `stop` is set: never call it on the window
// thread. Why not, in the operator's words: "no such host", "nothing
// answers", "login refused", "recipient refused", a certificate the CA file
// did not sign.
// `reached` tells whether the server answered at all (a refusal is an
// answer; no such host, nothing listening or no answer in time are not).
rules::result send_mail(const rules::mail::mail_settings& s, const rules::mail::message& m,
                        const QString& note, std::chrono::seconds timeout,
                        const std::atomic<bool>* stop = nullptr, bool* reached = nullptr);

// Whether anything accepts a connection at the server's port now, within
// `timeout`: a cheap look, without a mail session, for a server that was away.
bool server_listens(const rules::mail::mail_settings& s, std::chrono::seconds timeout);

} // namespace notify
