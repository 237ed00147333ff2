#include "settings_window/mail_page.h"

#include "notify/smtp_client.h"
#include "rules/mail_message.h"
#include "settings_window/field_checks.h"

#include <QComboBox>
#include <QDateTime>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace settings_window {

namespace {

const QString security_key = QStringLiteral("security");

} // namespace

mail_page::mail_page(const QMap<QString, QString>& values, QString station, QWidget* parent)
    : QWidget(parent)
    , initial_(values)
    , station_(std::move(station))
    , security_(new QComboBox(this))
    , test_(new QPushButton(QStringLiteral("Send a test messa&ge"), this))
    , outcome_(new QLabel(this)) {
    auto* grid = new QGridLayout(this);
    struct row {
        const char* key;
        const char* label;
        const char* placeholder;
    };
    const row rows[] = {
        {"host", "Mail &server:", "empty: no e-mail"},
        {"port", "P&ort:", "587 (STARTTLS), 465 (TLS), 25 (none)"},
        {"cafile", "&CA file:", "empty: the system's authorities"},
        {"username", "&User name:", ""},
        {"password", "Pass&word:", ""},
        {"from", "&From:", "kestrova@this host"},
        {"to", "&To:", "addresses separated by commas"},
    };
    int r = 0;
    for (const row& w : rows) {
        const QString key = QString::fromLatin1(w.key);
        auto* label = new QLabel(QString::fromUtf8(w.label), this);
        auto* edit = new QLineEdit(values.value(key), this);
        edit->setObjectName(QStringLiteral("mail_") + key);
        edit->setAccessibleName(label->text().remove(u'&').chopped(1));
        edit->setPlaceholderText(QString::fromUtf8(w.placeholder));
        if (key == QLatin1String("password"))
            edit->setEchoMode(QLineEdit::Password);
        label->setBuddy(edit);
        auto* reason = new QLabel(this);
        reason->setObjectName(edit->objectName() + QStringLiteral("_reason"));
        reason->setWordWrap(true);
        reason->setStyleSheet(QStringLiteral("color: #c00000"));
        reason->hide();
        grid->addWidget(label, r, 0);
        grid->addWidget(edit, r, 1);
        grid->addWidget(reason, r++, 2);
        fields_.push_back({key, edit, reason});
        connect(edit, &QLineEdit::textChanged, this, &mail_page::recheck);
        if (key == QLatin1String("port")) {
            auto* label2 = new QLabel(QStringLiteral("Secur&ity:"), this);
            security_->setObjectName(QStringLiteral("mail_security"));
            security_->setAccessibleName(QStringLiteral("Security"));
            security_->addItem(QStringLiteral("STARTTLS"), QStringLiteral("starttls"));
            security_->addItem(QStringLiteral("TLS"), QStringLiteral("tls"));
            security_->addItem(QStringLiteral("None (plain text)"), QStringLiteral("none"));
            const int i = security_->findData(values.value(security_key).trimmed().toLower());
            security_->setCurrentIndex(i < 0 ? 0 : i);
            label2->setBuddy(security_);
            grid->addWidget(label2, r, 0);
            grid->addWidget(security_, r++, 1);
        }
    }
    test_->setObjectName(QStringLiteral("mail_test"));
    outcome_->setObjectName(QStringLiteral("mail_outcome"));
    outcome_->setWordWrap(true);
    outcome_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(test_, r, 0);
    grid->addWidget(outcome_, r++, 1, 1, 2);
    auto* about = new QLabel(
        QStringLiteral("Each alarm is sent when it is raised, at each reminder, when it is "
                       "acknowledged and when it ends. A message the server does not take waits "
                       "in the outbox beside the log and is sent once it does."),
        this);
    about->setWordWrap(true);
    grid->addWidget(about, r++, 0, 1, 3);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(2, 2);
    grid->setRowStretch(r, 1);
    connect(test_, &QPushButton::clicked, this, &mail_page::send_test);
}

mail_page::~mail_page() {
    end_test();
}

void mail_page::end_test() {
    if (stop_)
        *stop_ = true;
    if (test_thread_.joinable())
        test_thread_.join();
}

QMap<QString, QString> mail_page::values() const {
    QMap<QString, QString> v = initial_;
    for (const field& f : fields_)
        v.insert(f.key,
                 f.key == QLatin1String("password") ? f.edit->text() : f.edit->text().trimmed());
    const QString security = security_->currentData().toString();
    v.insert(security_key, security == QLatin1String("starttls") && !initial_.contains(security_key)
                               ? QString()
                               : security);
    return v;
}

QWidget* mail_page::first_wrong() {
    recheck();
    for (const field& f : fields_)
        if (!f.reason->text().isEmpty())
            return f.edit;
    return nullptr;
}

void mail_page::recheck() {
    for (const field& f : fields_) {
        const QString text = f.edit->text().trimmed();
        const QString problem = rules::mail::mail_setting_problem(f.key, text);
        const QString why = field_checks::first_of(
            {problem.isEmpty() ? QString() : QStringLiteral("is not ") + problem,
             field_checks::storable(text)});
        f.reason->setText(why);
        f.reason->setVisible(!why.isEmpty());
        f.edit->setAccessibleDescription(why);
    }
}

void mail_page::send_test() {
    if (first_wrong())
        return;
    const QMap<QString, QString> v = values();
    rules::mail::mail_settings s = rules::mail::read_mail_settings(
        [&v](const QString& key) { return std::optional<QString>(v.value(key)); });
    if (!s.enabled()) {
        outcome_->setText(
            QStringLiteral("Give the mail server and at least one address to send to."));
        return;
    }
    if (s.from.isEmpty())
        s.from = QStringLiteral("kestrova@%1").arg(station_);
    end_test();
    test_->setEnabled(false);
    outcome_->setText(QStringLiteral("Sending…"));
    rules::mail::message m;
    m.made = QDateTime::currentDateTime();
    m.id = rules::mail::make_id(station_, m.made, 0);
    m.thread = m.id;
    m.subject = QStringLiteral("[KESTROVA %1] Test message").arg(station_);
    m.body = QStringLiteral("This test message from KESTROVA on %1 shows that its alarms can "
                            "reach %2.\n")
                 .arg(station_, s.to.join(QStringLiteral(", ")));
    stop_ = std::make_shared<std::atomic<bool>>(false);
    test_thread_ = std::thread([this, s, m, stop = stop_] {
        const rules::result sent =
            notify::send_mail(s, m, {}, std::chrono::seconds(30), stop.get());
        if (*stop)
            return;
        QMetaObject::invokeMethod(
            this,
            [this, sent, to = s.to.join(QStringLiteral(", "))] {
                test_->setEnabled(true);
                outcome_->setText(
                    sent ? QStringLiteral("Sent: the server took the message for %1.").arg(to)
                         : QStringLiteral("Not sent: %1.").arg(sent.why()));
            },
            Qt::QueuedConnection);
    });
}

} // namespace settings_window
