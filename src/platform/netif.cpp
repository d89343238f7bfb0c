// Interface ioctls and the default-route seam.
#include "netif.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include <QDebug>
#include <QMutex>
#include <QMutexLocker>

#include "commandrunner.h"

namespace {

QMutex gRouteMutex;
QStringList gRouteChanges;
QList<int> gRouteScript;

bool fillRequest(ifreq* req, const char* name)
{
    if (!name || std::strlen(name) >= IFNAMSIZ)
        return false;
    std::memset(req, 0, sizeof(*req));
    std::memcpy(req->ifr_name, name, std::strlen(name) + 1);
    return true;
}

int queryInet(int fd, const char* name, unsigned long request, quint32* out)
{
    ifreq req;
    if (!fillRequest(&req, name) || ::ioctl(fd, request, &req) < 0)
        return -1;
    sockaddr_in sin;
    std::memcpy(&sin, &req.ifr_addr, sizeof(sin));
    *out = sin.sin_addr.s_addr;
    return 0;
}

void setInetAddr(sockaddr* sa, quint32 addrNetOrder)
{
    sockaddr_in sin;
    std::memset(&sin, 0, sizeof(sin));
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = addrNetOrder;
    std::memcpy(sa, &sin, sizeof(sin));
}

QString dotted(quint32 addrNetOrder)
{
    char text[INET_ADDRSTRLEN] = {};
    in_addr a;
    a.s_addr = addrNetOrder;
    ::inet_ntop(AF_INET, &a, text, sizeof(text));
    return QString::fromLatin1(text);
}

int changeRoute(int fd, unsigned long request, quint32 gatewayNetOrder, const QString& text)
{
    if (CommandRunner::mode() != CommandRunner::Real) {
        if (CommandRunner::mode() == CommandRunner::Log)
            qInfo().noquote() << "route change not made (log mode):" << text;
        QMutexLocker lock(&gRouteMutex);
        gRouteChanges << text;
        return gRouteScript.isEmpty() ? 0 : gRouteScript.takeFirst();
    }
    rtentry route;
    std::memset(&route, 0, sizeof(route));
    setInetAddr(&route.rt_dst, 0);
    setInetAddr(&route.rt_genmask, 0);
    route.rt_flags = RTF_UP;
    if (request == SIOCADDRT) {
        setInetAddr(&route.rt_gateway, gatewayNetOrder);
        route.rt_flags |= RTF_GATEWAY;
    }
    return ::ioctl(fd, request, &route) < 0 ? -errno : 0;
}

}  // namespace

int NetIf::openSocket()
{
    return ::socket(AF_INET, SOCK_DGRAM, 0);
}

void NetIf::closeSocket(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

int NetIf::hardwareAddress(int fd, const char* name, unsigned char mac[6])
{
    ifreq req;
    if (!fillRequest(&req, name) || ::ioctl(fd, SIOCGIFHWADDR, &req) < 0)
        return -1;
    std::memcpy(mac, req.ifr_hwaddr.sa_data, 6);
    return 0;
}

int NetIf::address(int fd, const char* name, quint32* addrNetOrder)
{
    return queryInet(fd, name, SIOCGIFADDR, addrNetOrder);
}

int NetIf::netmask(int fd, const char* name, quint32* maskNetOrder)
{
    return queryInet(fd, name, SIOCGIFNETMASK, maskNetOrder);
}

int NetIf::deleteDefaultRoute(int fd)
{
    return changeRoute(fd, SIOCDELRT, 0, "route del default");
}

int NetIf::addDefaultRoute(int fd, quint32 gatewayNetOrder)
{
    return changeRoute(fd, SIOCADDRT, gatewayNetOrder, "route add default gw " + dotted(gatewayNetOrder));
}

QStringList NetIf::recordedRouteChanges()
{
    QMutexLocker lock(&gRouteMutex);
    return gRouteChanges;
}

void NetIf::clearRecordedRouteChanges()
{
    QMutexLocker lock(&gRouteMutex);
    gRouteChanges.clear();
    gRouteScript.clear();
}

void NetIf::scriptRouteResults(const QList<int>& results)
{
    QMutexLocker lock(&gRouteMutex);
    gRouteScript = results;
}
