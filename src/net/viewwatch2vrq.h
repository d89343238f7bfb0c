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
// away one message probes it every kRetryMs; the others wait.
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
    void write();
    void readReply();
    // The message under way ended: answered (status > 0) or not (status 0).
    void finished(int status, const QByteArray& body);

    QTcpSocket* socket = nullptr;
    QTimer* replyTimer = nullptr;
    QByteArray replyBuffer;
    Message current;
    bool reused = false;  // the message went out on a connection that had carried others

    bool running = false;
    QString peerHost;
    int peerPort = 0;
    int link = kLinkDown;
    QList<Message> queue;
    int inFlight = 0;
    bool dropLogged = false;
    QJsonArray clearMethods;
    QTimer* retryTimer = nullptr;
};
