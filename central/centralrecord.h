#ifndef QUORVANE_CENTRAL_CENTRALRECORD_H
#define QUORVANE_CENTRAL_CENTRALRECORD_H

// The central record (--record-to URI): every result line the operator's record forms is
// also kept in an outbox on the workstation and sent to a PostgreSQL table that many
// stations share. The window's thread only appends to the outbox; the connection, the
// inserts and the retries live on a thread of their own (central/delivery.h).

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QCommandLineParser;
class QLabel;
class QStatusBar;
class QThread;

namespace central {

class Delivery;
class Outbox;

struct Settings
{
    QString uri;     // --record-to; empty: no central record
    QString station; // --station; the host's name by default
};

// The command line's part: --record-to and --station. readOptions gives the text of a
// usage error (a password in the URI, a URI libpq cannot read, --station alone), or an
// empty text.
void addOptions(QCommandLineParser &parser);
QString readOptions(const QCommandLineParser &parser, Settings *settings);

// Where the outboxes are: $XDG_STATE_HOME/quorvane, or ~/.local/state/quorvane.
QString outboxFolder();

} // namespace central

class CentralRecord : public QObject
{
    Q_OBJECT

public:
    explicit CentralRecord(const central::Settings &settings);
    ~CentralRecord() override;

    // Takes the station's outbox (refused while another tool holds it) and starts sending,
    // first what earlier runs left in it.
    bool open(QString *why);
    // One finished result: time, transport, where, identity, picture, licence, outcome.
    void add(const QStringList &fields);
    // The record's state, in a label of its own at the status bar's end, so that it never
    // takes the place of a dialogue's message.
    void showIn(QStatusBar *bar);

private:
    void say(const QString &text, const QString &detail);

    const central::Settings m_settings;
    std::shared_ptr<central::Outbox> m_outbox;
    QThread *m_thread = nullptr;
    central::Delivery *m_delivery = nullptr;
    QLabel *m_state = nullptr;
    bool m_outboxFailing = false;
};

#endif // QUORVANE_CENTRAL_CENTRALRECORD_H
