#include "app/application.h"

#include <dlfcn.h>

#include <QFont>
#include <QScreen>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "app/dialogs.h"
#include "app/soundmeter.h"
#include "base/endsignals.h"
#include "base/filemetadata.h"

namespace veruziva {

VeruzivaApplication::VeruzivaApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setOrganizationName(QStringLiteral("Zoruzoz"));
    setApplicationName(QStringLiteral("Veruziva"));
    setApplicationVersion(ProgramVersion());
    SubstituteFormsFace();
}

namespace {

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// Asks the X server at `display` whether it answers, through the same library Qt's X11 platform
// uses (loaded here only for the question: where it is missing, Qt cannot use X11 either and
// says so itself).
bool XDisplayAnswers(const char* display) {
    void* xcb = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (xcb == nullptr) {
        return true;
    }
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    const auto connect = reinterpret_cast<Connect>(dlsym(xcb, "xcb_connect"));
    const auto hasError = reinterpret_cast<HasError>(dlsym(xcb, "xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<Disconnect>(dlsym(xcb, "xcb_disconnect"));
    bool answers = true;
    if (connect != nullptr && hasError != nullptr && disconnect != nullptr) {
        void* connection = connect(display, nullptr);
        answers = hasError(connection) == 0;
        disconnect(connection);
    }
    dlclose(xcb);
    return answers;
}

}  // namespace

bool GraphicalSessionAvailable(const char* program) {
    // An explicit platform other than X11 (offscreen, say) is the user's choice; on a Wayland
    // session Qt may well not need the X display.
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const bool x11Chosen = platform != nullptr && std::strncmp(platform, "xcb", 3) == 0;
    if ((Set("QT_QPA_PLATFORM") && !x11Chosen) || Set("WAYLAND_DISPLAY")) {
        return true;
    }
    if (!Set("DISPLAY")) {
        std::fprintf(stderr,
                     "%s: a graphical session is needed (neither DISPLAY nor WAYLAND_DISPLAY is "
                     "set); start it from a desktop session.\n",
                     program);
        return false;
    }
    // Qt would abort on a display that does not answer, and suggest reinstalling the program.
    const char* display = std::getenv("DISPLAY");
    if (!XDisplayAnswers(display)) {
        std::fprintf(stderr,
                     "%s: the display \"%s\" cannot be reached (no X server answers there, or it "
                     "refuses this user); start it from a desktop session, or set DISPLAY to a "
                     "display that runs.\n",
                     program, display);
        return false;
    }
    return true;
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
