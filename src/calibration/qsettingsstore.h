#pragma once

#include <QSettings>
#include <memory>
#include <optional>

#include "calibration/settingsstore.h"

namespace veruziva {

// The settings in QSettings' native format: organisation "Zoruzoz", application "Veruziva"
// (on Linux the file Zoruzoz/Veruziva.conf under the user's configuration directory), or the
// same format in a file of the caller's choice.
class QSettingsStore : public SettingsStore {
public:
    QSettingsStore();
    explicit QSettingsStore(QString filePath);
    ~QSettingsStore() override;

    bool open() override;
    ReadResult readInteger(const QString& name) override;
    bool writeInteger(const QString& name, std::int32_t value) override;
    TextResult readText(const QString& name) override;
    bool writeText(const QString& name, const QString& value) override;
    void close() override;

    // Where the values are kept.
    QString fileName() const;

private:
    std::unique_ptr<QSettings> makeSettings() const;

    std::optional<QString> m_filePath;
    std::unique_ptr<QSettings> m_settings;
};

inline constexpr const char* OrganisationName = "Zoruzoz";
inline constexpr const char* ApplicationName = "Veruziva";

}  // namespace veruziva
