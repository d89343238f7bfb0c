// Free helpers shared by start-up and the network code: device identity, interface
// addresses, MAC and IPv4 texts, ports, unique names and clock readings.
#pragma once

#include <string>

#include <QString>
#include <QtGlobal>

// Ports the peer services keep for themselves; RandPort never hands them out.
constexpr int kRandPortMin = 10001;
constexpr int kReservedPortFirst = 10410;
constexpr int kReservedPortLast = 10419;

QString getlocal_deviceid();
QString found_diskuuid_by_blkid();

// Fills ip, mask and gateway (16 bytes each) and mac (18 bytes) for the interface.
// 0 success; -1 no socket; -2 no such interface or a name of 16 characters or more;
// -4 no address; -5 no netmask; -6 no route table; -7 no socket for the route repair;
// -8 the default route could not be installed.
int GetIfAddr(char* name, char* ip, char* mask, char* gateway, char* mac);

std::string ethaddr2string(unsigned char* mac);
int string2ethaddr(const QString& text, unsigned char* mac);
std::string nint2string(unsigned int addr);
int set_socket_nonblock(int fd);
int RandPort();
QString new_uuid();
bool setIPLast(QString& ip, int last);
QString getSubNet(const QString& ip, const QString& mask);
qint64 gettimeofday_ms();
int curtime_qint64_2_int();
