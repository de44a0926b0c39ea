#include "calibration/qsettingsstore.h"

#include <limits>

namespace veruziva {

SettingsStore::~SettingsStore() = default;

QSettingsStore::QSettingsStore() = default;

QSettingsStore::QSettingsStore(QString filePath) : m_filePath(std::move(filePath)) {}

QSettingsStore::~QSettingsStore() = default;

std::unique_ptr<QSettings> QSettingsStore::makeSettings() const {
    if (m_filePath) {
        return std::make_unique<QSettings>(*m_filePath, QSettings::IniFormat);
    }
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       OrganisationName, ApplicationName);
}

bool QSettingsStore::open() {
    m_settings = makeSettings();
    return m_settings->status() != QSettings::AccessError;
}

SettingsStore::ReadResult QSettingsStore::readInteger(const QString& name) {
    if (!m_settings || !m_settings->contains(name)) {
        return {ReadStatus::Missing, 0};
    }
    const QVariant value = m_settings->value(name);
    bool ok = false;
    qlonglong number = 0;
    switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
            number = value.toLongLong(&ok);
            break;
        case QMetaType::QString:
            // The text file keeps every value as text: a plain decimal integer, nothing else.
            number = value.toString().toLongLong(&ok, 10);
            break;
        default:
            break;
    }
    if (!ok || number < std::numeric_limits<std::int32_t>::min() ||
        number > std::numeric_limits<std::int32_t>::max()) {
        return {ReadStatus::WrongType, 0};
    }
    return {ReadStatus::Ok, static_cast<std::int32_t>(number)};
}

bool QSettingsStore::writeInteger(const QString& name, std::int32_t value) {
    if (!m_settings) {
        return false;
    }
    m_settings->setValue(name, value);
    // Write through at once, so that a failure is seen at the value that hit it.
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

void QSettingsStore::close() {
    if (m_settings) {
        m_settings->sync();
        m_settings.reset();
    }
}

QString QSettingsStore::fileName() const {
    return makeSettings()->fileName();
}

}  // namespace veruziva
