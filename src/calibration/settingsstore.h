#pragma once

#include <QString>
#include <cstdint>

namespace veruziva {

// A key of values under the user's profile: 32-bit integers, and a text.
class SettingsStore {
public:
    enum class ReadStatus { Ok, Missing, WrongType };
    struct ReadResult {
        ReadStatus status = ReadStatus::Missing;
        std::int32_t value = 0;
    };

    struct TextResult {
        ReadStatus status = ReadStatus::Missing;
        QString value;
    };

    virtual ~SettingsStore();

    // Opens the key, creating it when it does not exist; false when it cannot be opened.
    virtual bool open() = 0;
    virtual ReadResult readInteger(const QString& name) = 0;
    // False when the value could not be stored.
    virtual bool writeInteger(const QString& name, std::int32_t value) = 0;
    virtual TextResult readText(const QString& name) = 0;
    virtual bool writeText(const QString& name, const QString& value) = 0;
    virtual void close() = 0;
};

}  // namespace veruziva
