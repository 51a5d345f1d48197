#include "shell/XRepaints.h"

#include <QByteArray>
#include <QString>

void SendRepaintsOverTheXConnection()
{
    if (qEnvironmentVariable("K417_XCB_SHM") != QLatin1String("1") && !qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
}
