// Client of the companion peer: records, template changes, alarms and cycle records posted to it.
#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

class QTcpSocket;
class QTimer;

// Every message is one JSON object POSTed to http://<peer>/inline/bymain/<path> with the
// device id in the "Device-ID" header, on one kept-alive connection, one message at a time.
// Sends never wait: a message joins a bounded queue that a Qt socket drains asynchronously on
// this object's thread (the GUI thread, which sits on the output path). While the peer is
// away (its port refuses) one message probes it every kRetryMs; the others wait. A message
// the peer took but did not answer in kReplyTimeoutMs, answered with something that is no
// HTTP reply, or cut off mid-reply is tried again after kRetryMs, then twice that, and after
// kTries tries it is dropped with one log line, so that the queue moves on (the peer may
// store a message once per try: the messages carry no key to tell copies apart).
// The link is kept open while there is nothing to send: the state follows the peer within
// kRetryMs of a change (a closed connection is opened again at once, a refused one tried
// every kRetryMs). Deadlines run on the platform's monotonic clock, checked every kTickMs.
// The request goes out in one write on a socket without Nagle's delay: Qt's HTTP client
// writes header and body apart, and against the peer's delayed acknowledgement that cost
// about 40 ms a message.
class ViewWatch2VRQ : public QObject
{
    Q_OBJECT

public:
    // Records kept for a look back; the oldest go first, so that a monitor running for
    // months does not grow without end.
    static constexpr int kKeptRecords = 1000;
    // Messages waiting for the peer; when it stays away the oldest are dropped.
    static constexpr int kQueueBound = 1000;
    int queueBound = kQueueBound;  // tests lower it
    // One at a time: the peer gets the messages in the order they were handed in.
    static constexpr int kInFlight = 1;
    static constexpr int kRetryMs = 2000;
    static constexpr int kReplyTimeoutMs = 5000;
    static constexpr int kTries = 3;
    static constexpr int kTickMs = 250;

    // Alarm state (alarmState).
    static constexpr int kAlarmNone = 0;
    static constexpr int kAlarmOpen = 1;
    static constexpr int kAlarmFinishPending = 2;  // cleared; the finish goes with the next send

    // Link states (TNR_NETMN::isAllowSnd_2_VW).
    static constexpr int kLinkOff = -1;
    static constexpr int kLinkDown = -2;
    static constexpr int kLinkNoServer = -3;
    static constexpr int kLinkUnregistered = -4;
    static constexpr int kLinkOk = 1;

    // Paths under /inline/bymain/.
    static constexpr const char* kPathRecord = "recordoperate";
    static constexpr const char* kPathTempList = "synctemplist";
    static constexpr const char* kPathAlarmStart = "alarmstart";
    static constexpr const char* kPathAlarmFinish = "alarmfinish";
    static constexpr const char* kPathPeriodRecord = "periodrecord";
    static constexpr const char* kPathPicture = "picture";

    // The peer client of the network manager (the manager is created when it does not
    // exist yet).
    static ViewWatch2VRQ* ofManager();

    explicit ViewWatch2VRQ(QObject* parent = nullptr);

    // Networking on: messages go to host:port from now on (the queue survives a restart at
    // the same address). Off: nothing is sent or tried, and waiting messages are dropped.
    void start(bool on, const QString& host, int port);
    bool started() const { return running; }
    // kLinkOff while stopped, else what the last exchange with the peer said.
    int linkState() const;

    // One operation record ("recordtime", "recordpassword", "remarks", "recordtype").
    void sndRecordOperate(QJsonObject record);
    QList<QJsonObject> sentRecords;  // the latest handed in, at most kKeptRecords

    // Which cameras and detections changed their templates: {"camera": [...], "detect": [...]}.
    void syncTempList(QJsonObject lists);
    QList<QJsonObject> sentTempLists;  // the latest handed in, at most kKeptRecords

    int alarmState = kAlarmNone;
    QString alarmUuid;
    // Opens an alarm of detection step `step` under a new uuid and tells the peer.
    void sndAlarmStartTiming(int step);
    // How the operator cleared camera `camera`'s alarm (detectState code 4, 5 or 6).
    void addClearMethod(int camera, int code);
    // Sends the finish with the gathered clear methods when the alarm is finish-pending and
    // networking is on; the state then goes back to none.
    void sndAlarmFinishTiming();
    static QString clearMethodText(int code);

    // Posts `body` to /inline/bymain/<path>; callable from any thread. Nothing happens
    // while networking is off.
    void post(const QString& path, const QJsonObject& body);

    // Messages waiting or under way (this object's thread).
    int pending() const { return queue.size() + inFlight; }

private:
    struct Message
    {
        QString path;
        QByteArray body;
    };

    void enqueue(const Message& m);
    void pump();
    void connectPeer();
    void write();
    void readReply();
    void lost();
    void tick();
    // The message under way was answered.
    void answered(const QByteArray& body);
    // A state from the peer's side; the way back from kLinkDown is logged.
    void setLink(int state);
    // The message under way failed: `taken` when the peer may have received it.
    void failed(bool taken, const QString& why);

    QTcpSocket* socket = nullptr;
    QByteArray replyBuffer;
    Message current;
    bool reused = false;   // the message went out on a connection opened before it
    bool written = false;  // the message under way reached the socket
    int tries = 0;         // of the message at the head (current or queue.first())

    bool running = false;
    QString peerHost;
    int peerPort = 0;
    int link = kLinkDown;
    int peerCode = kLinkOk;     // what the peer's last answer said of its server
    bool answerFailed = false;  // the last message the peer took got no good answer
    QList<Message> queue;
    int inFlight = 0;
    bool dropLogged = false;
    QJsonArray clearMethods;
    QTimer* ticker = nullptr;
    qint64 replyDeadline = 0;   // monotonic ms, while a message is under way
    qint64 nextTryAt = 0;       // no message goes before this
    qint64 lastConnectAt = -1;  // the last connection opened while idle
};
