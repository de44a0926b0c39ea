// veruziva-demo: the instrument on a built-in signal generator, for trying it without a sound
// card. A bench window sets what the generator's inputs see.
#include <QStandardPaths>

#include "app/application.h"
#include "app/demo/demobench.h"
#include "app/qtdialogs.h"
#include "app/soundmeter.h"
#include "calibration/qsettingsstore.h"

int main(int argc, char* argv[]) {
    if (!veruziva::GraphicalSessionAvailable("veruziva-demo")) {
        return 1;
    }
    veruziva::VeruzivaApplication application(argc, argv);
    veruziva::demo::DemoCard card;
    // The demo keeps its calibration apart from the real program's.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                           QStringLiteral("/Zoruzoz");
    veruziva::QSettingsStore settings(folder + QStringLiteral("/Veruziva-demo.conf"));
    veruziva::QtDialogs dialogs;
    // The bench is a window of its own, usable while the instrument shows a question.
    veruziva::demo::DemoBenchWindow bench(card, nullptr);
    return veruziva::RunProgram(application, card.waveInput, card.mixers, settings, dialogs,
                                [&bench](veruziva::TSoundMeter& window) {
                                    bench.adjustSize();
                                    bench.move(window.frameGeometry().topRight() + QPoint(8, 0));
                                    bench.show();
                                });
}
