#pragma once

// Shows the busy cursor for the lifetime of the object, so that it is
// restored on every path out of the operation. Does nothing without a GUI
// application.

namespace norvane {

class BusyCursor {
public:
    BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
    ~BusyCursor();

private:
    bool m_active = false;
};

} // namespace norvane
