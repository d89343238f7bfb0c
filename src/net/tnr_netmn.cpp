// Network service manager singleton.
#include "tnr_netmn.h"

TNR_NETMN* TNR_NETMN::__instance = nullptr;

// Whichever route creates the manager first makes it the instance.
TNR_NETMN::TNR_NETMN()
{
    if (!__instance)
        __instance = this;
}

TNR_NETMN* TNR_NETMN::getInstance()
{
    if (!__instance)
        new TNR_NETMN();
    return __instance;
}

QString TNR_NETMN::roiKey(int camera, int detect, int roi)
{
    return QString("%1;%2;%3").arg(camera).arg(detect).arg(roi);
}
