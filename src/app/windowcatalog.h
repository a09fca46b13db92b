#pragma once

#include <QString>

#include <functional>
#include <vector>

class QWidget;

namespace kestrune {

// How the main window opens one tool window.
struct ToolWindowEntry {
    QString menuName;  // the menu item that opens it
    bool modal = false;
    bool owned = false;  // owned by the main window (stays in front of it, minimises with it)
    // Creates the window; `owner` is the main window for owned windows, else
    // nullptr. Empty while the window is not part of the program: the menu
    // entry is then disabled.
    std::function<QWidget*(QWidget* owner)> create;
};

// Every tool window of the program, keyed by the menu item that opens it.
std::vector<ToolWindowEntry> toolWindowCatalog();

}  // namespace kestrune
