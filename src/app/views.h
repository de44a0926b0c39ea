#pragma once

#include <QKeyCombination>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "base/filemetadata.h"

namespace veruziva {

class AcCalibration;
class BlockHandler;
class BlockSink;
class LiveAnalysis;
class MessageBoxes;
class SampleClockStore;
class TrendFiles;
class TrendRecorder;

// What the views are made from: the window's parts they show, and the window they belong to.
struct ViewParts {
    TrendRecorder& trend;
    TrendFiles& files;
    MessageBoxes& boxes;
    QWidget& window;
    AcCalibration& acCalibration;
    LiveAnalysis& analysis;
    SampleClockStore& sampleClock;
    // What the views' saved files say they were measured with.
    std::function<FileMetadata()> metadata;
};

// A window the main window's context menu opens, and what feeds it.
struct ViewEntry {
    const char* name;     // the menu action's object name
    const char* caption;  // the menu's text
    QKeyCombination shortcut;
    // The sink the view needs (none: it needs no block), told every block from the start
    // whether the view is open or not: a view opened later shows what came before.
    std::unique_ptr<BlockSink> (*sink)(const ViewParts& parts);
    // Its window, made at its first opening, with the view's sink; closed, it is kept hidden.
    QWidget* (*make)(const ViewParts& parts, BlockSink* sink);
    // Brings the window up to date at once as it is opened (none: it keeps up by itself).
    void (*opened)(QWidget& window);
};

// The program's views, in the context menu's order.
std::span<const ViewEntry> ViewTable();

// The views of one window: their sinks, an action each in the window's context menu (with its
// shortcut), and their windows once opened.
class Views {
public:
    Views(std::span<const ViewEntry> table, const ViewParts& parts);
    ~Views();
    Views(const Views&) = delete;
    Views& operator=(const Views&) = delete;

    // The views' sinks, in the table's order.
    void addSinks(BlockHandler& blocks);
    // One action per view on the window, in the table's order.
    void addActions();
    // Makes the view's window at its first opening, shows it and brings it to the front.
    void open(std::size_t view);
    // The view's window when it has been opened, else none.
    QWidget* window(std::string_view name) const;

private:
    std::span<const ViewEntry> m_table;
    ViewParts m_parts;
    std::vector<std::unique_ptr<BlockSink>> m_sinks;
    std::vector<QPointer<QWidget>> m_windows;
};

}  // namespace veruziva
