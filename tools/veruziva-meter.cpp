#include <QStringList>
#include <csignal>
#include <cstdio>

#include "metertool.h"

int main(int argc, char* argv[]) {
    // A reader that has gone (`| head -1`) makes a write fail, which the tool handles; the
    // signal would end it with a recording's header still claiming its planned size.
    std::signal(SIGPIPE, SIG_IGN);
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    return veruziva::meter::RunMeterTool(arguments, stdout, stderr);
}
