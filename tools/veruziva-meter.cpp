#include <QStringList>
#include <cstdio>

#include "metertool.h"

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    return veruziva::meter::RunMeterTool(arguments, stdout, stderr);
}
