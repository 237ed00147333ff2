#include "settings_window/publishing_page.h"

#include "mqtt/mqtt_trial.h"
#include "rules/mqtt_fields.h"
#include "settings_window/field_checks.h"
#include "settings_window/wrapped_label.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace settings_window {

using settings::station_settings;

namespace {

constexpr int reason_column = 2;

QString sentence(const QString& text) {
    if (text.isEmpty())
        return text;
    return text.first(1).toUpper() + text.sliced(1) + u'.';
}

// A button that Return never presses: Return is OK in this window.
QPushButton* side_button(const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setAutoDefault(false);
    return b;
}

} // namespace

publishing_page::publishing_page(const station_settings::broker& values, context ctx,
                                 QWidget* parent)
    : QWidget(parent)
    , ctx_(std::move(ctx))
    , station_(values.station)
    , trial_(std::make_unique<mqtt::mqtt_trial>(ctx_.trial_limit)) {
    auto* grid = new QGridLayout(this);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(reason_column, 2);
    status_ = new wrapped_label(this);
    status_->setObjectName(QStringLiteral("link_status"));
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(status_, row_++, 0, 1, 3);

    build_broker_rows(values);
    build_login_rows(values);
    build_topic_rows(values);
    build_test_row();
    grid->setRowStretch(row_, 1);
    connect_fields();
    show_link_status({});
    recheck();
}

// Where the broker is, and how its certificate is checked.
void publishing_page::build_broker_rows(const station_settings::broker& values) {
    auto* grid = static_cast<QGridLayout*>(layout());
    host_ = add_line(QStringLiteral("Broker &host:"), QStringLiteral("Broker host"));
    host_->setPlaceholderText(QStringLiteral("none: publishing is off"));
    host_->setText(values.host);
    add_reason(host_, [this] {
        const QString h = host_->text().trimmed();
        return field_checks::first_of(
            {h.contains(u' ') ? QStringLiteral("holds a space") : QString(),
             field_checks::storable(h)});
    });

    port_ = add_line(QStringLiteral("Broker &port:"), QStringLiteral("Broker port"));
    port_->setText(values.port);
    add_reason(port_, [this] { return rules::mqtt::port_problem(port_->text().trimmed()); });

    tls_ = new QCheckBox(QStringLiteral("Use &TLS (the broker's certificate and name are checked)"),
                         this);
    tls_->setObjectName(QStringLiteral("tls"));
    tls_->setChecked(!values.cafile.isEmpty());
    grid->addWidget(tls_, row_++, 1, 1, 2);

    auto* ca_row = new QWidget(this);
    auto* ca_layout = new QHBoxLayout(ca_row);
    ca_layout->setContentsMargins(0, 0, 0, 0);
    auto* ca_label = new QLabel(QStringLiteral("&CA file:"), this);
    cafile_ = new QLineEdit(values.cafile, ca_row);
    cafile_->setObjectName(QStringLiteral("cafile"));
    cafile_->setAccessibleName(QStringLiteral("CA file"));
    cafile_->setPlaceholderText(QStringLiteral("the broker's CA certificate (PEM)"));
    ca_label->setBuddy(cafile_);
    choose_ = side_button(QStringLiteral("Choose\u2026"), ca_row);
    choose_->setObjectName(QStringLiteral("choose_cafile"));
    choose_->setAccessibleName(QStringLiteral("Choose the CA file"));
    ca_layout->addWidget(cafile_, 1);
    ca_layout->addWidget(choose_);
    grid->addWidget(ca_label, row_, 0);
    grid->addWidget(ca_row, row_, 1);
    add_reason(cafile_, [this]() -> QString {
        if (!tls_->isChecked())
            return {};
        const QString path = cafile_->text().trimmed();
        if (path.isEmpty())
            return QStringLiteral("TLS needs the CA certificate that signed the broker's");
        if (QString p = field_checks::storable(path); !p.isEmpty())
            return p;
        const QString p = mqtt::ca_file_problem(path);
        return p.isEmpty() ? p : QStringLiteral("cannot be used: ") + p;
    });
}

// Who logs in, and the warnings about where the password is kept.
void publishing_page::build_login_rows(const station_settings::broker& values) {
    auto* grid = static_cast<QGridLayout*>(layout());
    username_ = add_line(QStringLiteral("&Username:"), QStringLiteral("Username"));
    username_->setText(values.username);
    add_reason(username_, [this] {
        return field_checks::first_of({rules::mqtt::text_problem(username_->text()),
                                       field_checks::storable_exactly(username_->text())});
    });
    password_ = add_line(QStringLiteral("Pass&word:"), QStringLiteral("Password"));
    password_->setEchoMode(QLineEdit::Password);
    password_->setText(values.password);
    add_reason(password_, [this] {
        return field_checks::first_of({rules::mqtt::text_problem(password_->text()),
                                       field_checks::storable_exactly(password_->text())});
    });
    warnings_ = new wrapped_label(this);
    warnings_->setObjectName(QStringLiteral("password_warnings"));
    warnings_->setStyleSheet(QStringLiteral("color: #8a5a00"));
    make_private_ = side_button(QStringLiteral("Make Tarnwick.INI pri&vate"), this);
    make_private_->setObjectName(QStringLiteral("make_private"));
    auto* warn_row = new QHBoxLayout;
    warn_row->addWidget(warnings_, 1);
    warn_row->addWidget(make_private_, 0, Qt::AlignTop);
    grid->addLayout(warn_row, row_++, 1, 1, 2);
}

// Where the readings go, and the station Home Assistant knows.
void publishing_page::build_topic_rows(const station_settings::broker& values) {
    auto* grid = static_cast<QGridLayout*>(layout());
    const QString default_topic = QStringLiteral("kestrova/") + station_;
    const QString default_client = QStringLiteral("kestrova-") + station_;
    topic_ = add_line(QStringLiteral("T&opic:"), QStringLiteral("Topic"));
    topic_->setPlaceholderText(default_topic);
    topic_->setText(values.topic);
    add_reason(topic_, [this] {
        const QString t = topic_->text().trimmed();
        return t.isEmpty() ? QString()
                           : field_checks::first_of(
                                 {rules::mqtt::topic_problem(t, rules::mqtt::topic_suffix),
                                  field_checks::storable(t)});
    });
    client_id_ = add_line(QStringLiteral("C&lient id:"), QStringLiteral("Client id"));
    client_id_->setPlaceholderText(default_client);
    client_id_->setText(values.client_id);
    add_reason(client_id_, [this] {
        const QString c = client_id_->text().trimmed();
        return field_checks::first_of({rules::mqtt::text_problem(c), field_checks::storable(c)});
    });

    discovery_on_ = new QCheckBox(QStringLiteral("Announce the station to Home &Assistant"), this);
    discovery_on_->setObjectName(QStringLiteral("discovery_on"));
    discovery_on_->setChecked(!values.discovery || !values.discovery->isEmpty());
    grid->addWidget(discovery_on_, row_++, 1, 1, 2);
    discovery_ = add_line(QStringLiteral("&Discovery prefix:"), QStringLiteral("Discovery prefix"));
    discovery_->setPlaceholderText(QStringLiteral("homeassistant"));
    discovery_->setText(values.discovery.value_or(QString()));
    add_reason(discovery_, [this] { return discovery_problem(); });

    // Labels that show changing text keep it as their name, which is what a
    // screen reader reads of a label.
    auto* station = new QLabel(QStringLiteral("Station id: %1").arg(station_), this);
    station->setObjectName(QStringLiteral("station_id"));
    station->setTextInteractionFlags(Qt::TextSelectableByMouse);
    station->setToolTip(QStringLiteral("Made once for this station and kept in Tarnwick.INI; "
                                       "Home Assistant knows the station by it"));
    grid->addWidget(station, row_++, 1, 1, 2);
}

// Every change is checked again; the tab order runs down the page, the way
// the eye reads it.
void publishing_page::connect_fields() {
    for (QLineEdit* e :
         {host_, port_, cafile_, username_, password_, topic_, client_id_, discovery_})
        connect(e, &QLineEdit::textChanged, this, &publishing_page::recheck);
    for (QCheckBox* c : {tls_, discovery_on_})
        connect(c, &QCheckBox::toggled, this, &publishing_page::recheck);
    connect(choose_, &QPushButton::clicked, this, &publishing_page::choose_ca_file);
    connect(make_private_, &QPushButton::clicked, this, &publishing_page::make_file_private);
    connect(test_, &QPushButton::clicked, this, &publishing_page::test_connection);
    connect(trial_.get(), &mqtt::mqtt_trial::finished, this, &publishing_page::show_trial);

    QWidget* order[] = {host_,         port_,      tls_,          cafile_, choose_,
                        username_,     password_,  make_private_, topic_,  client_id_,
                        discovery_on_, discovery_, test_};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

publishing_page::~publishing_page() = default;

QLineEdit* publishing_page::add_line(const QString& label, const QString& name) {
    auto* grid = static_cast<QGridLayout*>(layout());
    auto* l = new QLabel(label, this);
    auto* e = new QLineEdit(this);
    e->setAccessibleName(name);
    e->setObjectName(name.toLower().replace(u' ', u'_'));
    l->setBuddy(e);
    grid->addWidget(l, row_, 0);
    grid->addWidget(e, row_, 1);
    return e;
}

void publishing_page::add_reason(QWidget* w, std::function<QString()> problem) {
    auto* grid = static_cast<QGridLayout*>(layout());
    auto* reason = new wrapped_label(this);
    reason->setObjectName(w->objectName() + QStringLiteral("_reason"));
    reason->setStyleSheet(QStringLiteral("color: #c00000"));
    grid->addWidget(reason, row_++, reason_column);
    fields_.push_back({w, reason, std::move(problem)});
}

void publishing_page::build_test_row() {
    auto* grid = static_cast<QGridLayout*>(layout());
    test_ = side_button(QStringLiteral("T&est connection"), this);
    test_->setObjectName(QStringLiteral("test_connection"));
    test_->setToolTip(QStringLiteral("Connects with the values above, without touching the "
                                     "running link"));
    test_result_ = new wrapped_label(this);
    test_result_->setObjectName(QStringLiteral("test_result"));
    test_result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(test_, row_, 0);
    grid->addWidget(test_result_, row_++, 1, 1, 2);
    test_result_->hide();
}

station_settings::broker publishing_page::values() const {
    station_settings::broker b;
    b.host = host_->text().trimmed();
    b.port = port_->text().trimmed();
    b.cafile = tls_->isChecked() ? cafile_->text().trimmed() : QString();
    b.username = username_->text();
    b.password = password_->text();
    b.topic = topic_->text().trimmed();
    b.client_id = client_id_->text().trimmed();
    const QString prefix = discovery_->text().trimmed();
    if (!discovery_on_->isChecked())
        b.discovery = QString();
    else if (!prefix.isEmpty())
        b.discovery = prefix;
    b.station = station_;
    return b;
}

QWidget* publishing_page::first_wrong() {
    recheck();
    for (const field& f : fields_)
        if (!f.reason->text().isEmpty())
            return f.widget;
    return nullptr;
}

void publishing_page::show_link_status(const QString& line) {
    status_->show_text(line.isEmpty() ? QStringLiteral("Now: not publishing (no broker host)")
                                      : QStringLiteral("Now: ") + line);
}

rules::mqtt::settings publishing_page::settings_of(const station_settings::broker& b) const {
    return rules::mqtt::read_settings(
        [&b](const QString& key) -> std::optional<QString> {
            if (key == QLatin1String("discovery"))
                return b.discovery;
            const QString v = key == QLatin1String("host")        ? b.host
                              : key == QLatin1String("port")      ? b.port
                              : key == QLatin1String("cafile")    ? b.cafile
                              : key == QLatin1String("username")  ? b.username
                              : key == QLatin1String("password")  ? b.password
                              : key == QLatin1String("topic")     ? b.topic
                              : key == QLatin1String("client_id") ? b.client_id
                              : key == QLatin1String("station")   ? b.station
                                                                  : QString();
            return v.isEmpty() ? std::nullopt : std::optional<QString>(v);
        },
        station_);
}

QString publishing_page::discovery_problem() const {
    const QString prefix = discovery_->text().trimmed();
    if (!discovery_on_->isChecked() || prefix.isEmpty())
        return {};
    const qsizetype node = (QStringLiteral("kestrova-") + station_).toUtf8().size();
    return field_checks::first_of(
        {rules::mqtt::topic_problem(prefix, rules::mqtt::discovery_suffix + node),
         field_checks::storable(prefix)});
}

void publishing_page::recheck() {
    port_->setPlaceholderText(tls_->isChecked() ? QStringLiteral("8883") : QStringLiteral("1883"));
    cafile_->setEnabled(tls_->isChecked());
    choose_->setEnabled(tls_->isChecked());
    discovery_->setEnabled(discovery_on_->isChecked());
    for (const field& f : fields_) {
        const QString why = f.problem();
        f.reason->show_text(why);
        f.reason->setVisible(!why.isEmpty());
        // A screen reader hears the reason with the field.
        f.widget->setAccessibleDescription(why);
    }
    show_warnings();
}

void publishing_page::show_warnings() {
    const station_settings::broker b = values();
    QStringList lines;
    bool readable = false;
    if (!b.password.isEmpty()) {
        if (b.username.isEmpty())
            lines << QStringLiteral("Without a username the password is not sent.");
        else if (!b.host.isEmpty() && b.cafile.isEmpty() && !rules::mqtt::is_local_host(b.host))
            lines << QStringLiteral("The password goes to %1 without TLS: anyone on the way can "
                                    "read it.")
                         .arg(b.host);
        const QFileInfo file(ctx_.ini_path);
        readable = file.exists() && (file.permissions() & (QFile::ReadGroup | QFile::ReadOther));
        if (readable)
            lines << QStringLiteral("Others on this machine can read Tarnwick.INI, which is to "
                                    "hold this password.");
    }
    warnings_->show_text(lines.join(u'\n'));
    warnings_->setVisible(!lines.isEmpty());
    make_private_->setVisible(readable);
    describe_password();
}

// A screen reader hears what is said about the password with the field:
// its reason, and the warnings below it.
void publishing_page::describe_password() {
    QStringList said;
    for (const field& f : fields_)
        if (f.widget == password_ && !f.reason->text().isEmpty())
            said << f.reason->text();
    if (!warnings_->text().isEmpty())
        said << warnings_->text().split(u'\n');
    password_->setAccessibleDescription(said.join(u' '));
}

void publishing_page::make_file_private() {
    if (!QFile::setPermissions(ctx_.ini_path, QFile::ReadOwner | QFile::WriteOwner)) {
        warnings_->show_text(warnings_->text() +
                             QStringLiteral("\nTarnwick.INI could not be made private."));
        describe_password();
        return;
    }
    show_warnings();
    password_->setFocus();
}

void publishing_page::choose_ca_file() {
    if (!ctx_.choose_ca_file)
        return;
    const QString path = ctx_.choose_ca_file(this, cafile_->text().trimmed());
    if (!path.isEmpty())
        cafile_->setText(path);
}

void publishing_page::test_connection() {
    const station_settings::broker b = values();
    if (b.host.isEmpty()) {
        show_result(QStringLiteral("Type the broker's host name or address first."));
        host_->setFocus();
        return;
    }
    if (QWidget* wrong = first_wrong()) {
        show_result(QStringLiteral("Correct the field marked first."));
        wrong->setFocus();
        return;
    }
    const rules::mqtt::settings s = settings_of(b);
    show_result(QStringLiteral("Testing %1\u2026").arg(s.url()));
    trial_->start(s);
}

void publishing_page::show_result(const QString& text) {
    test_result_->show_text(text);
    test_result_->setVisible(!text.isEmpty());
}

void publishing_page::show_trial(const mqtt::verdict& v) {
    if (v.kind == mqtt::outcome::connected)
        show_result(QStringLiteral("Connected: the broker accepts these settings."));
    else
        show_result(sentence(v.text));
}

} // namespace settings_window
