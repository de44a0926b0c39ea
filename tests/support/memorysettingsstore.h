#pragma once

#include <QMap>
#include <QVariant>

#include "calibration/settingsstore.h"

namespace veruziva {

// Settings held in memory, for tests and the demo program. Values of any type can be planted,
// and opening or writing can be made to fail.
class MemorySettingsStore : public SettingsStore {
public:
    bool open() override { return m_openSucceeds; }
    ReadResult readInteger(const QString& name) override;
    bool writeInteger(const QString& name, std::int32_t value) override;
    TextResult readText(const QString& name) override;
    bool writeText(const QString& name, const QString& value) override;
    void close() override {}

    void plant(const QString& name, const QVariant& value) { m_values.insert(name, value); }
    const QMap<QString, QVariant>& values() const { return m_values; }
    QStringList writeOrder() const { return m_writeOrder; }
    void setOpenSucceeds(bool succeeds) { m_openSucceeds = succeeds; }
    // The write of this value and every later one fails.
    void failWritesFrom(const QString& name) { m_failFrom = name; }

private:
    bool write(const QString& name, const QVariant& value);

    QMap<QString, QVariant> m_values;
    QStringList m_writeOrder;
    bool m_openSucceeds = true;
    QString m_failFrom;
    bool m_failing = false;
};

}  // namespace veruziva
