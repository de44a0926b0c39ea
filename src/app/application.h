#pragma once

#include <QApplication>
#include <functional>

namespace veruziva {

class Dialogs;
class MixerService;
class SettingsStore;
class TSoundMeter;
class WaveInput;

// A window program needs a graphical session; without one, or on an X display that does not
// answer, Qt aborts with a message about reinstalling. False (with a plain message on standard
// error) when there is none or it cannot be reached.
bool GraphicalSessionAvailable(const char* program);

// The forms are laid out for a narrow 8-point face; of the faces a Linux desktop has, those
// with the same widths stand in for it, so that no caption is cut off.
void SubstituteFormsFace();

// The application object: its general error handler shows a runtime error of any action in a
// box, and the program goes on.
class VeruzivaApplication : public QApplication {
    Q_OBJECT

public:
    VeruzivaApplication(int& argc, char** argv);
    void setErrorBoxes(Dialogs* dialogs) { m_dialogs = dialogs; }
    bool notify(QObject* receiver, QEvent* event) override;

private:
    Dialogs* m_dialogs = nullptr;
};

// The program: application title, the windows in their order (the main window's creation
// brings the instrument up), then the event loop. `started` runs once the windows exist.
int RunProgram(VeruzivaApplication& application, WaveInput& waveInput, MixerService& mixers,
               SettingsStore& settings, Dialogs& dialogs,
               const std::function<void(TSoundMeter&)>& started = {});

}  // namespace veruziva
