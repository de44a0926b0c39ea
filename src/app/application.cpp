#include "app/application.h"

#include <QFont>
#include <QScreen>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "app/dialogs.h"
#include "app/endsignals.h"
#include "app/soundmeter.h"

namespace veruziva {

VeruzivaApplication::VeruzivaApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setOrganizationName(QStringLiteral("Zoruzoz"));
    setApplicationName(QStringLiteral("Veruziva"));
    setApplicationVersion(QStringLiteral(VERUZIVA_VERSION));
    SubstituteFormsFace();
}

bool GraphicalSessionAvailable(const char* program) {
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    // An explicit platform (offscreen, say) is the user's choice.
    if (set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM")) {
        return true;
    }
    std::fprintf(stderr,
                 "%s: a graphical session is needed (neither DISPLAY nor WAYLAND_DISPLAY is "
                 "set); start it from a desktop session.\n",
                 program);
    return false;
}

void SubstituteFormsFace() {
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                                QStringLiteral("DejaVu Sans Condensed")});
}

bool VeruzivaApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        if (m_dialogs != nullptr) {
            m_dialogs->showError(QString::fromUtf8(error.what()));
        }
        return false;
    }
}

int RunProgram(VeruzivaApplication& application, WaveInput& waveInput, MixerService& mixers,
               SettingsStore& settings, Dialogs& dialogs,
               const std::function<void(TSoundMeter&)>& started) {
    application.setErrorBoxes(&dialogs);
    // Asking the application to end: no further box, and the loop quits as soon as it runs.
    auto requestEnd = [&dialogs, &application] {
        dialogs.setEnding(true);
        QMetaObject::invokeMethod(&application, &QCoreApplication::quit, Qt::QueuedConnection);
    };
    int status = 0;
    {
        TSoundMeter window(InstrumentServices{waveInput, mixers, settings, dialogs, requestEnd});
        dialogs.setMainWindow(&window);
        dialogs.createWindows();
        if (QScreen* screen = window.screen()) {
            window.move(screen->availableGeometry().center() - window.rect().center());
        }
        window.show();
        const EndSignals ending([&window] { window.CloseClick(); });
        if (started) {
            started(window);
        }
        status = QApplication::exec();
        application.setErrorBoxes(nullptr);
    }
    return status;
}

}  // namespace veruziva
