/* Preloaded into the monitor when it serves its screen over VNC: Qt's VNC platform listens on
 * every interface; this keeps the port named by VNC_LOCAL_PORT on the loopback interface. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>

typedef int (*BindFn)(int, const struct sockaddr*, socklen_t);

int bind(int fd, const struct sockaddr* addr, socklen_t len)
{
    static BindFn realBind;
    if (!realBind)
        realBind = (BindFn)dlsym(RTLD_NEXT, "bind");
    const char* portText = getenv("VNC_LOCAL_PORT");
    const int port = portText ? atoi(portText) : 0;
    if (port <= 0 || !addr)
        return realBind(fd, addr, len);

    if (addr->sa_family == AF_INET && len >= sizeof(struct sockaddr_in)) {
        struct sockaddr_in in4;
        memcpy(&in4, addr, sizeof(in4));
        if (ntohs(in4.sin_port) == port && in4.sin_addr.s_addr == htonl(INADDR_ANY)) {
            in4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            return realBind(fd, (const struct sockaddr*)&in4, sizeof(in4));
        }
    } else if (addr->sa_family == AF_INET6 && len >= sizeof(struct sockaddr_in6)) {
        struct sockaddr_in6 in6;
        memcpy(&in6, addr, sizeof(in6));
        if (ntohs(in6.sin6_port) == port && IN6_IS_ADDR_UNSPECIFIED(&in6.sin6_addr)) {
            /* A dual-stack socket: 127.0.0.1 as a v4-mapped address. */
            static const unsigned char mappedLoopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 127, 0, 0, 1};
            memcpy(&in6.sin6_addr, mappedLoopback, sizeof(mappedLoopback));
            return realBind(fd, (const struct sockaddr*)&in6, sizeof(in6));
        }
    }
    return realBind(fd, addr, len);
}
