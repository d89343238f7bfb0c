// Network-interface queries and default-route changes behind the platform seam.
#pragma once

#include <QList>
#include <QStringList>
#include <QtGlobal>

class NetIf
{
public:
    // An IPv4 datagram socket for the requests below; -1 on failure.
    static int openSocket();
    static void closeSocket(int fd);

    // Interface queries (read-only). 0 on success, -1 on failure; a name that does not fit
    // the kernel's interface-name field (16 bytes with its terminator) fails.
    static int hardwareAddress(int fd, const char* name, unsigned char mac[6]);
    static int address(int fd, const char* name, quint32* addrNetOrder);
    static int netmask(int fd, const char* name, quint32* maskNetOrder);

    // Default route (destination and mask 0.0.0.0): 0 on success, -errno on failure.
    // Only real mode touches the routing table; otherwise the request is recorded as text
    // ("route del default", "route add default gw 10.0.0.5") and answered from the script.
    static int deleteDefaultRoute(int fd);
    static int addDefaultRoute(int fd, quint32 gatewayNetOrder);

    static QStringList recordedRouteChanges();
    static void clearRecordedRouteChanges();
    // Answers for the next recorded route requests, in order (0 or -errno); 0 once used up.
    static void scriptRouteResults(const QList<int>& results);
};
