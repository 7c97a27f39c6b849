// SPDX-License-Identifier: MIT
#pragma once

#include "forms/format/PropertyBlock.h"
#include "forms/format/WindowData.h"
#include "services/Value.h"

#include <QPointer>
#include <QRect>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace paveno::forms {

class Control;

// Type codes of the property tables.
enum class PropertyType : int {
    Integer = 1001,
    Double = 1002,
    Bool = 1003,
    DateTime = 1004,
    Text = 1005,
    IntegerChoice = 1006,
    TextChoice = 1007,
    EditableTextChoice = 1008,
    Picture = 1009,
    Icon = 1010,
    MousePointer = 1011,
    Sound = 1012,
    Font = 1013,
    Colour = 1014,
    ColourOrTransparent = 1015,
    FileName = 1016,
    ColourOrDefault = 1017,
};

// The properties every kind has; a kind's own properties are numbered from 8 on, as constants of its class.
enum CommonProperty : int { kLeft, kTop, kWidth, kHeight, kTag, kVisible, kDisabled, kMousePointer };

// One kind-specific property: its number (8 and up), names and type, and how the live control serves it.
// A property without a reader or writer cannot be read or written at run time.
struct PropertyEntry {
    int number;
    std::string_view name;        // as the designer shows it ("标题")
    std::string_view englishName; // "caption"
    PropertyType type;
    Value (*read)(const Control&) = nullptr;
    void (*write)(Control&, const Value&) = nullptr;
};

enum KindFlags : std::uint32_t {
    kKindAllowsEvents = 1u << 0,
    kKindNotAWindow = 1u << 1, // created but never shown (the timer)
    kKindContainer = 1u << 2,  // may hold other controls
    kKindMultiPage = 1u << 3,  // a container whose child list has pages separated by 0 entries
};

// What a kind's creation routine is given.
struct CreateArgs {
    const format::ControlRecord& record;
    std::uint32_t windowId;
    const format::PropertyBlock* block; // the block read by the kind's layout; null for a kind without one
    QWidget* parent;                    // the window's client area (null when the window itself is created)
    int childId;                        // 100, 110, ... in creation order; 0 for the window
    QWidget* owner;                     // windows only: the frame that owns a window kept out of the task bar
    bool modal;                         // windows only
    bool offScreen = false;             // windows only: never put on a screen (RuntimeOptions::offScreen)
};

// One entry of the kinds table.
struct KindDescriptor {
    std::uint32_t kindId;
    std::string_view name; // "窗口"
    std::string_view word; // "window"
    std::uint32_t flags;
    int propertyCount;
    std::span<const PropertyEntry> properties;
    // Creates the live control hidden, or returns null and says why.
    std::unique_ptr<Control> (*create)(const CreateArgs& args, std::string& error);

    const PropertyEntry* Property(int number) const;
};

// A live control (or the live window, entry 0). Each kind derives one class that owns its Qt widget, serves its
// property table and raises its events through the engine. Properties 0 to 7 live here for every kind.
class Control {
public:
    Control(const KindDescriptor& kind, const CreateArgs& args);
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const KindDescriptor& kind() const { return kind_; }
    const format::ControlRecord& record() const { return record_; }
    std::uint32_t windowId() const { return windowId_; }
    std::uint32_t controlId() const { return record_.id; }
    int childId() const { return childId_; }

    // The widget of the control; null for a control that is no window. Children of a container go into
    // container().
    QWidget* widget() const { return widget_; }
    virtual QWidget* container() const { return widget_; }

    // Creation steps: every control exists; the window is ready.
    virtual void AllCreated() {}
    virtual void WindowReady() {}

    // Properties 0 to 7.
    Value ReadCommon(int number) const;
    void WriteCommon(int number, const Value& value);
    bool storedVisible() const { return visible_; }
    // Shows or hides the widget as the visible flag says (a control that is no window stays hidden).
    virtual void ApplyVisible();
    void SetForcedHidden(bool hidden) { forcedHidden_ = hidden; }

    // Raises an event of this control through the engine's dispatch. Returns false if nothing was called.
    bool Raise(int event);

    // The context of the kind's signal connections: it dies with the control, so a widget that outlives its
    // control (the window's widgets are deleted later) never calls into a dead one.
    QObject* context() const { return context_.get(); }

protected:
    // The widget is set by the kind once it made it; the base class watches its focus for events -7 and -8.
    void SetWidget(QWidget* widget);
    // Outer geometry for properties 0 to 3; the window kind measures its frame.
    virtual QRect Geometry() const;
    virtual void SetGeometry(const QRect& r);

private:
    const KindDescriptor& kind_;
    const format::ControlRecord& record_;
    std::uint32_t windowId_;
    int childId_;
    QPointer<QWidget> widget_;
    std::unique_ptr<QObject> context_;
    QRect stored_;
    Text tag_;
    bool visible_;
    bool disabled_;
    bool forcedHidden_ = false;
    std::int32_t pointer_;
};

// The Qt text of a GBK text (undecodable bytes show as replacement characters), and the reverse.
QString ToQt(std::string_view gbk);
Text FromQt(const QString& s);
// A COLORREF (0x00BBGGRR) as a Qt colour; 0xFF000000 (system default) gives an invalid colour.
QColor ColourOf(std::uint32_t colorref);

} // namespace paveno::forms
