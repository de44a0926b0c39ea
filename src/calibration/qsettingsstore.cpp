#include "calibration/qsettingsstore.h"

#include <QIODevice>
#include <limits>

namespace veruziva {
namespace {

// Qt's own INI reader turns a value written as "@Variant(...)" into whatever serialized object
// it describes, trusting its sizes: one damaged or crafted line could make it allocate
// gigabytes or fail to start the program. The settings file holds integers only, so it is read
// with a reader of the same layout that keeps every value as the text it is; a value that is
// not a plain integer is then simply of the wrong type.

// A settings file of ours is under a kilobyte; anything past this is not read.
constexpr qint64 MaxSettingsFileBytes = 64 * 1024;

QString UnescapedKey(QStringView key) {
    QByteArray bytes;
    for (qsizetype i = 0; i < key.size(); ++i) {
        bool hex = false;
        if (key[i] == u'%' && i + 2 < key.size()) {
            const int value = key.mid(i + 1, 2).toInt(&hex, 16);
            if (hex) {
                bytes.append(static_cast<char>(value));
                i += 2;
                continue;
            }
        }
        bytes.append(key.mid(i, 1).toUtf8());
    }
    return QString::fromUtf8(bytes);
}

QString EscapedKey(const QString& key) {
    QString escaped;
    for (const char c : key.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || byte == '_' || byte == '-' ||
                           byte == '.';
        escaped += plain ? QString(QChar(byte))
                         : QStringLiteral("%%1").arg(byte, 2, 16, QChar(u'0')).toUpper();
    }
    return escaped;
}

bool ReadPlainIni(QIODevice& device, QSettings::SettingsMap& map) {
    const QString text = QString::fromUtf8(device.read(MaxSettingsFileBytes));
    QString section;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#')) {
            continue;
        }
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            section = UnescapedKey(line.mid(1, line.size() - 2).trimmed());
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0) {
            continue;
        }
        QString key = UnescapedKey(line.left(equals).trimmed());
        if (!section.isEmpty() && section.compare(u"General", Qt::CaseInsensitive) != 0) {
            key = section + u'/' + key;
        }
        QStringView value = line.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"')) {
            value = value.mid(1, value.size() - 2);
        }
        map.insert(key, value.toString());
    }
    return true;
}

bool WritePlainIni(QIODevice& device, const QSettings::SettingsMap& map) {
    QByteArray text("[General]\n");
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        text += EscapedKey(it.key()).toUtf8() + '=' + it.value().toString().toUtf8() + '\n';
    }
    return device.write(text) == text.size();
}

QSettings::Format PlainIniFormat() {
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("conf"), ReadPlainIni, WritePlainIni);
    return format;
}

}  // namespace

SettingsStore::~SettingsStore() = default;

QSettingsStore::QSettingsStore() = default;

QSettingsStore::QSettingsStore(QString filePath) : m_filePath(std::move(filePath)) {}

QSettingsStore::~QSettingsStore() = default;

std::unique_ptr<QSettings> QSettingsStore::makeSettings() const {
    if (m_filePath) {
        return std::make_unique<QSettings>(*m_filePath, PlainIniFormat());
    }
    return std::make_unique<QSettings>(PlainIniFormat(), QSettings::UserScope, OrganisationName,
                                       ApplicationName);
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

SettingsStore::TextResult QSettingsStore::readText(const QString& name) {
    if (!m_settings || !m_settings->contains(name)) {
        return {ReadStatus::Missing, {}};
    }
    const QVariant value = m_settings->value(name);
    if (value.typeId() != QMetaType::QString) {
        return {ReadStatus::WrongType, {}};
    }
    return {ReadStatus::Ok, value.toString()};
}

bool QSettingsStore::writeText(const QString& name, const QString& value) {
    if (!m_settings) {
        return false;
    }
    m_settings->setValue(name, value);
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
