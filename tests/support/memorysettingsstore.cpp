#include "support/memorysettingsstore.h"

namespace veruziva {

SettingsStore::ReadResult MemorySettingsStore::readInteger(const QString& name) {
    const auto it = m_values.constFind(name);
    if (it == m_values.constEnd()) {
        return {ReadStatus::Missing, 0};
    }
    if (it->typeId() != QMetaType::Int) {
        return {ReadStatus::WrongType, 0};
    }
    return {ReadStatus::Ok, it->toInt()};
}

bool MemorySettingsStore::writeInteger(const QString& name, std::int32_t value) {
    return write(name, value);
}

SettingsStore::TextResult MemorySettingsStore::readText(const QString& name) {
    const auto it = m_values.constFind(name);
    if (it == m_values.constEnd()) {
        return {ReadStatus::Missing, {}};
    }
    if (it->typeId() != QMetaType::QString) {
        return {ReadStatus::WrongType, {}};
    }
    return {ReadStatus::Ok, it->toString()};
}

bool MemorySettingsStore::writeText(const QString& name, const QString& value) {
    return write(name, value);
}

bool MemorySettingsStore::write(const QString& name, const QVariant& value) {
    m_failing = m_failing || (!m_failFrom.isEmpty() && name == m_failFrom);
    if (m_failing) {
        return false;
    }
    m_values.insert(name, value);
    m_writeOrder.append(name);
    return true;
}

}  // namespace veruziva
