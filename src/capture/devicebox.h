#pragma once

#include <QString>

namespace veruziva {

// The window's drop-down list of input devices, entry i standing for device i.
class DeviceBox {
public:
    virtual ~DeviceBox();
    virtual void insertItem(int index, const QString& name) = 0;
    // Selects an entry (or none with -1) without raising a change.
    virtual void setCurrentIndex(int index) = 0;
    virtual int currentIndex() const = 0;
};

}  // namespace veruziva
