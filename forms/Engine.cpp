// SPDX-License-Identifier: MIT
#include "forms/Engine.h"

#include "forms/kinds/Kinds.h"
#include "forms/kinds/WindowKind.h"
#include "services/Gbk.h"
#include "services/RunDirectory.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <new>
#include <optional>

namespace paveno::forms {

namespace {

struct Binding {
    std::int32_t event;
    Handler handler; // null: bound to nothing
};

struct LiveWindow {
    std::uint32_t id = 0;
    const format::WindowRecord* record = nullptr;
    std::size_t index = 0; // in the window data
    std::uint64_t serial = 0;
    std::vector<std::unique_ptr<Control>> controls; // by table entry; menu items have none
    bool ready = false;
    bool destroying = false;
    std::uint32_t pendingFocus = 0; // a control that took the focus before the window was ready
    bool hasPendingFocus = false;
    std::vector<QPointer<QWidget>> disabledByModal;

    WindowControl* window() const { return static_cast<WindowControl*>(controls[0].get()); }
};

struct Engine {
    std::optional<format::WindowData> data;
    std::vector<std::vector<std::vector<Binding>>> bindings; // [window][entry]
    std::vector<std::unique_ptr<LiveWindow>> live;
    std::vector<const KindDescriptor*> extraKinds;
    bool offScreen = false;
    QPointer<QWidget> hiddenFrame;
    int errors = 0;
    bool reportingError = false;
    bool ending = false;
    std::function<void()> endRoutine;
    EventSource current;
    QEventLoop* loop = nullptr;
    std::uint64_t nextSerial = 1;
};

Engine& E() {
    static Engine* engine = new Engine; // lives as long as the process: Qt objects must not die after Qt
    return *engine;
}

Text Message(std::string_view utf8) {
    return Gbk(utf8);
}

LiveWindow* FindLive(std::uint32_t id) {
    for (auto& w : E().live) {
        if (w->id == id) return w.get();
    }
    return nullptr;
}

bool Alive(std::uint64_t serial) {
    return std::any_of(E().live.begin(), E().live.end(), [&](const auto& w) { return w->serial == serial; });
}

void QuitIfNoneAlive() {
    Engine& e = E();
    if (e.live.empty() && e.loop) e.loop->exit(0);
}

// Removes a window from the table and releases it without raising anything.
void Release(std::unique_ptr<LiveWindow> w) {
    for (auto& p : w->disabledByModal) {
        if (p) p->setEnabled(true);
    }
    // Controls go before the window whose widgets hold theirs; the window's frame is deleted later.
    for (std::size_t k = w->controls.size(); k-- > 1;)
        w->controls[k].reset();
    w->controls.clear();
}

void DropAllWindows() {
    Engine& e = E();
    while (!e.live.empty()) {
        auto w = std::move(e.live.back());
        e.live.pop_back();
        Release(std::move(w));
    }
}

// The value converted to what a property of this type holds.
Value Coerce(PropertyType type, const Value& v) {
    auto whole = [&]() -> std::int32_t {
        if (v.isInteger()) return static_cast<std::int32_t>(v.integer());
        if (v.isNumber()) {
            double d = std::trunc(v.number());
            return std::isfinite(d) && d >= INT32_MIN && d <= INT32_MAX ? static_cast<std::int32_t>(d) : 0;
        }
        if (v.isLogical()) return v.logical() ? 1 : 0;
        return 0;
    };
    switch (type) {
    case PropertyType::Bool:
        return Value::Logical(v.isLogical() ? v.logical() : v.isNumber() ? v.number() != 0 : v.integer() != 0);
    case PropertyType::Double:
    case PropertyType::DateTime:
        return Value::Number(v.isNumber() ? v.number() : static_cast<double>(whole()));
    case PropertyType::Text:
    case PropertyType::TextChoice:
    case PropertyType::EditableTextChoice:
    case PropertyType::FileName:
        if (v.isBytes()) {
            std::string_view s = ViewOf(v.bytes());
            return Value::FromText(Text(s.substr(0, s.find('\0'))));
        }
        return Value::FromText(v.text());
    case PropertyType::Picture:
    case PropertyType::Icon:
    case PropertyType::Sound:
    case PropertyType::Font:
        return Value::FromBytes(v.isText() ? BytesOf(v.text()) : v.bytes());
    default:
        return Value::Integer(whole());
    }
}

PropertyType CommonType(int number) {
    switch (number) {
    case kTag:
        return PropertyType::Text;
    case kVisible:
    case kDisabled:
        return PropertyType::Bool;
    case kMousePointer:
        return PropertyType::MousePointer;
    default:
        return PropertyType::Integer;
    }
}

// Finds the live control of a property access, reporting the run-time errors of a missing window or control.
Control* AccessedControl(std::uint32_t windowId, std::uint32_t controlId) {
    Engine& e = E();
    if (e.ending) return nullptr;
    LiveWindow* w = FindLive(windowId);
    if (!w) {
        RuntimeError(Message("未载入欲访问窗口组件所在的窗口"));
        return nullptr;
    }
    int k = w->record->FindControl(controlId);
    Control* c = k < 0 ? nullptr : w->controls[static_cast<std::size_t>(k)].get();
    // An id that names no live control of this window is no more loaded than a control of an unloaded window.
    if (!c) {
        RuntimeError(Message("指定窗口尚未载入"));
        return nullptr;
    }
    return c;
}

std::optional<format::PropertyBlock> ReadBlock(const format::ControlRecord& rec, bool& failed) {
    failed = false;
    const format::KindLayout* layout = format::FindKindLayout(rec.kindId);
    if (!layout) return std::nullopt;
    format::BlockResult r = format::ReadPropertyBlock(*layout, rec.properties);
    if (!r.block) failed = true;
    return r.block;
}

} // namespace

const KindDescriptor* FindKind(std::uint32_t kindId) {
    for (const KindDescriptor* k : BuiltInKinds()) {
        if (k->kindId == kindId) return k;
    }
    for (const KindDescriptor* k : E().extraKinds) {
        if (k->kindId == kindId) return k;
    }
    return nullptr;
}

bool InitRuntime(const ProgramHeader& header, const RuntimeOptions& options) {
    Engine& e = E();
    // A fresh engine: whatever an earlier run left is dropped without events.
    DropAllWindows();
    e.data.reset();
    e.bindings.clear();
    e.errors = 0;
    e.reportingError = false;
    e.ending = false;
    e.endRoutine = nullptr;
    e.current = {};
    e.extraKinds.assign(options.extraKinds.begin(), options.extraKinds.end());
    e.offScreen = options.offScreen;
    if (QApplication* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        app->setQuitOnLastWindowClosed(false);
        if (!e.hiddenFrame) e.hiddenFrame = new QWidget(nullptr, Qt::Window);
    }

    // Every path is built on the run directory, which the services keep; the working folder stays as it was.
    SetRunDirectory(
        Utf8ToGbkLossy((options.runDirectory.empty() ? ExecutableFolder() : options.runDirectory).string()));

    format::ReadResult r;
    if (header.windowData) r = format::ReadWindowData({header.windowData, header.windowDataSize});
    bool ok = r.data.has_value();
    std::vector<std::vector<std::vector<Binding>>> bindings;
    if (ok) {
        for (const auto& win : r.data->windows) {
            auto& perWindow = bindings.emplace_back();
            for (const auto& rec : win.controls) {
                auto& perControl = perWindow.emplace_back();
                for (const auto& b : rec.bindings) {
                    if (b.handler == format::kNoHandler) {
                        perControl.push_back({b.event, nullptr});
                    } else if (b.handler < header.handlerCount && header.codeBase) {
                        perControl.push_back({b.event, header.codeBase[b.handler]});
                    } else {
                        ok = false; // an offset outside the handler table: the data does not fit this program
                    }
                }
            }
        }
    }
    if (!ok) {
        RuntimeError(Message("载入窗口模板数据段出错!"));
        return false;
    }
    e.data = std::move(r.data);
    e.bindings = std::move(bindings);
    return true;
}

void RegisterEndRoutine(std::function<void()> routine) {
    E().endRoutine = std::move(routine);
}

bool LoadStartWindow(std::uint32_t windowId) {
    if (!E().data || E().ending) return false;
    if (!LoadWindow(windowId)) {
        RuntimeError(Message("载入启动窗口失败"));
        return false;
    }
    return true;
}

void RunMessageLoop() {
    Engine& e = E();
    if (e.live.empty() || e.ending) return;
    QEventLoop loop;
    QEventLoop* outer = e.loop;
    e.loop = &loop;
    loop.exec();
    e.loop = outer;
}

namespace {

// Takes a window that failed half-way out of the table and releases what it had, without raising anything.
void Discard(LiveWindow* w) {
    Engine& e = E();
    auto it = std::find_if(e.live.begin(), e.live.end(), [&](const auto& p) { return p.get() == w; });
    if (it == e.live.end()) return;
    auto mine = std::move(*it);
    e.live.erase(it);
    Release(std::move(mine));
}

// Creates one control from its record; null when its kind is unknown or its property block unreadable.
std::unique_ptr<Control> CreateControl(const format::ControlRecord& rec, CreateArgs args) {
    const KindDescriptor* kind = FindKind(rec.kindId);
    bool badBlock = false;
    std::optional<format::PropertyBlock> block = ReadBlock(rec, badBlock);
    if (!kind || badBlock) return nullptr;
    args.block = block ? &*block : nullptr;
    std::string error;
    return kind->create(args, error);
}

// The window itself, from the table's first entry, created hidden and hung on the engine's hidden frame.
bool CreateFrame(LiveWindow& w, bool modal) {
    const format::ControlRecord& entry = w.record->controls[0];
    std::unique_ptr<Control> frame =
        CreateControl(entry, CreateArgs{entry, w.id, nullptr, nullptr, 0, E().hiddenFrame, modal, E().offScreen});
    if (!dynamic_cast<WindowControl*>(frame.get())) return false;
    w.controls[0] = std::move(frame);
    return true;
}

// The controls, hidden, from the last table entry up to the first after the window: the last gets child id 100,
// the one before it 110, and so on. One control that cannot be created fails the whole window.
bool CreateControls(LiveWindow& w) {
    int childId = 100;
    for (std::size_t k = w.controls.size(); k-- > 1;) {
        const format::ControlRecord& rec = w.record->controls[k];
        if (rec.isMenuItem()) continue;
        w.controls[k] =
            CreateControl(rec, CreateArgs{rec, w.id, nullptr, w.window()->container(), childId, nullptr, false});
        if (!w.controls[k]) return false;
        childId += 10;
    }
    return true;
}

// Containers take the controls that name them as parent; in a multi-page container the pages after the first
// start hidden.
bool AdoptChildren(LiveWindow& w) {
    const format::WindowRecord& rec = *w.record;
    for (std::size_t k = 1; k < w.controls.size(); ++k) {
        Control* c = w.controls[k].get();
        if (!c || !c->widget() || rec.controls[k].parentId == 0) continue;
        int p = rec.FindControl(rec.controls[k].parentId);
        Control* parent = p > 0 ? w.controls[static_cast<std::size_t>(p)].get() : nullptr;
        if (!parent || !parent->container() || !(parent->kind().flags & kKindContainer)) return false;
        QRect g = c->widget()->geometry();
        c->widget()->setParent(parent->container());
        c->widget()->setGeometry(g);
    }
    for (std::size_t k = 1; k < w.controls.size(); ++k) {
        Control* c = w.controls[k].get();
        if (!c || !(c->kind().flags & kKindMultiPage)) continue;
        const auto& children = rec.controls[k].children;
        auto sep = std::find(children.begin(), children.end(), 0u);
        for (auto it = sep; it != children.end(); ++it) {
            int idx = *it ? rec.FindControl(*it) : -1;
            if (idx > 0 && w.controls[static_cast<std::size_t>(idx)])
                w.controls[static_cast<std::size_t>(idx)]->SetForcedHidden(true);
        }
    }
    return true;
}

// Stacking and keyboard order follow the table within each parent: the first entry on top and first in line.
void StackAndTabOrder(LiveWindow& w) {
    for (std::size_t k = w.controls.size(); k-- > 1;) {
        if (Control* c = w.controls[k].get(); c && c->widget()) c->widget()->raise();
    }
    QWidget* previous = nullptr;
    for (std::size_t k = 1; k < w.controls.size(); ++k) {
        Control* c = w.controls[k].get();
        if (!c || !c->widget() || !w.record->controls[k].tabStop()) continue;
        if (previous) QWidget::setTabOrder(previous, c->widget());
        previous = c->widget();
    }
}

// Every entry hears, from the last to the window, that all controls exist; the window then hears it once more. Then
// each control takes its stored visibility, in creation order.
void FinishCreation(LiveWindow& w) {
    for (std::size_t k = w.controls.size(); k-- > 0;) {
        if (w.controls[k]) w.controls[k]->AllCreated();
    }
    w.window()->AllCreated();
    for (std::size_t k = w.controls.size(); k-- > 1;) {
        if (w.controls[k]) w.controls[k]->ApplyVisible();
    }
}

// Created, moved, resized: each raised only while the window still exists. Gives whether it still does.
bool RaiseCreationEvents(std::uint32_t windowId, std::uint64_t serial) {
    RaiseEvent(windowId, 0, 0);
    if (Alive(serial)) RaiseEvent(windowId, 0, 3);
    if (Alive(serial)) RaiseEvent(windowId, 0, 4);
    return Alive(serial);
}

// The window appears as stored, unless a creation handler hid it; a control that took the focus meanwhile hears
// event -7 now. Gives whether the window still exists.
bool ShowAsStored(LiveWindow& w) {
    const std::uint64_t serial = w.serial;
    if (w.window()->storedVisible()) {
        w.window()->ShowAsStored();
        w.window()->frame()->activateWindow();
    }
    if (w.hasPendingFocus) {
        w.hasPendingFocus = false;
        RaiseEvent(w.id, w.pendingFocus, -7);
    }
    return Alive(serial);
}

// A modal window disables every other enabled window of the program until it closes.
void DisableOtherWindows(LiveWindow& w) {
    for (auto& other : E().live) {
        if (other.get() == &w || !other->controls[0]) continue;
        QWidget* f = other->controls[0]->widget();
        if (f && f->isEnabled()) {
            f->setEnabled(false);
            w.disabledByModal.emplace_back(f);
        }
    }
}

// Every entry hears that the window is ready; whoever held the focus before keeps it.
void MarkReady(LiveWindow& w) {
    QPointer<QWidget> focus = QApplication::focusWidget();
    for (std::size_t k = w.controls.size(); k-- > 0;) {
        if (w.controls[k]) w.controls[k]->WindowReady();
    }
    if (focus && QApplication::focusWidget() != focus) focus->setFocus();
    w.ready = true;
}

} // namespace

bool LoadWindow(std::uint32_t windowId, bool modal, std::uint32_t ownerWindowId) {
    (void)ownerWindowId; // every owned window hangs on the engine's hidden frame
    Engine& e = E();
    if (!e.data || e.ending) return false;
    if (LiveWindow* w = FindLive(windowId)) {
        w->window()->BringForward();
        return true;
    }
    const format::WindowRecord* rec = e.data->Find(windowId);
    if (!rec) return false;
    auto owned = std::make_unique<LiveWindow>();
    LiveWindow* w = owned.get();
    w->id = windowId;
    w->record = rec;
    w->index = static_cast<std::size_t>(rec - e.data->windows.data());
    w->serial = e.nextSerial++;
    w->controls.resize(rec->controls.size());
    if (!CreateFrame(*w, modal)) return false;
    e.live.push_back(std::move(owned));
    if (!CreateControls(*w) || !AdoptChildren(*w)) {
        Discard(w);
        return false;
    }
    StackAndTabOrder(*w);
    FinishCreation(*w);
    // Handlers run from here on and may close the window; the creation handler sees it before the user does.
    if (!RaiseCreationEvents(windowId, w->serial) || !ShowAsStored(*w)) return true;
    if (modal) DisableOtherWindows(*w);
    MarkReady(*w);
    return true;
}

bool DestroyWindow(std::uint32_t windowId) {
    Engine& e = E();
    LiveWindow* w = FindLive(windowId);
    if (!w || w->destroying) return false;
    w->destroying = true;
    RaiseEvent(windowId, 0, 2);
    auto it = std::find_if(e.live.begin(), e.live.end(), [&](const auto& p) { return p.get() == w; });
    if (it == e.live.end()) return true;
    auto owned = std::move(*it);
    e.live.erase(it);
    Release(std::move(owned));
    QuitIfNoneAlive();
    return true;
}

bool IsWindowLoaded(std::uint32_t windowId) {
    return FindLive(windowId) != nullptr;
}

bool IsWindowReady(std::uint32_t windowId) {
    LiveWindow* w = FindLive(windowId);
    return w && w->ready && !w->destroying;
}

void NoteFocus(std::uint32_t windowId, std::uint32_t controlId, bool gained) {
    LiveWindow* w = FindLive(windowId);
    if (!w || w->destroying) return;
    if (!w->ready) {
        if (gained) {
            w->pendingFocus = controlId;
            w->hasPendingFocus = true;
        } else if (w->hasPendingFocus && w->pendingFocus == controlId) {
            w->hasPendingFocus = false;
        }
        return;
    }
    RaiseEvent(windowId, controlId, gained ? -7 : -8);
}

Control* FindLiveControl(std::uint32_t windowId, std::uint32_t controlId) {
    LiveWindow* w = FindLive(windowId);
    if (!w) return nullptr;
    int k = w->record->FindControl(controlId);
    return k < 0 ? nullptr : w->controls[static_cast<std::size_t>(k)].get();
}

bool RaiseEvent(std::uint32_t windowId, std::uint32_t controlId, int event) {
    Engine& e = E();
    if (e.errors >= 1) return false;
    LiveWindow* w = FindLive(windowId);
    if (!w) {
        RuntimeError(Message("未找到引发事件的窗口"));
        return false;
    }
    int k = w->record->FindControl(controlId);
    if (k < 0) {
        RuntimeError(Message("未找到引发事件的窗口组件"));
        return false;
    }
    // Stored records never hand their events on to another record: the bindings are this record's own.
    const format::ControlRecord& rec = w->record->controls[static_cast<std::size_t>(k)];
    const KindDescriptor* kind = FindKind(rec.kindId);
    if (!kind || !(kind->flags & kKindAllowsEvents)) {
        RuntimeError(Message("引发事件的窗口组件无效"));
        return false;
    }
    const auto& list = e.bindings[w->index][static_cast<std::size_t>(k)];
    auto b = std::find_if(list.begin(), list.end(), [&](const Binding& x) { return x.event == event; });
    if (b == list.end() || !b->handler) return false;
    Handler handler = b->handler;
    EventSource outer = e.current;
    e.current = {windowId, rec.id};
    handler();
    e.current = outer;
    return true;
}

EventSource CurrentEventSource() {
    return E().current;
}

Value ReadProperty(std::uint32_t windowId, std::uint32_t controlId, int property, int element) {
    (void)element; // every property of the kinds here is a single value
    Control* c = AccessedControl(windowId, controlId);
    if (!c) return {};
    if (property >= kLeft && property <= kMousePointer) return c->ReadCommon(property);
    const PropertyEntry* p = c->kind().Property(property);
    if (!p || !p->read) return {};
    return p->read(*c);
}

void WriteProperty(std::uint32_t windowId, std::uint32_t controlId, int property, int element, const Value& value) {
    (void)element;
    Control* c = AccessedControl(windowId, controlId);
    if (!c) return;
    if (property >= kLeft && property <= kMousePointer) {
        c->WriteCommon(property, Coerce(CommonType(property), value));
        return;
    }
    const PropertyEntry* p = c->kind().Property(property);
    if (!p || !p->write) return;
    p->write(*c, Coerce(p->type, value));
}

void FreeBlock(Value& block) {
    block = Value();
}

ByteSet AllocBlock(std::int32_t count) {
    if (count >= 0) {
        try {
            return ByteSet(static_cast<std::size_t>(count));
        } catch (const std::bad_alloc&) {
        }
    }
    RuntimeError(Message("分配 ") + std::to_string(count) + Message(" 字节内存失败!"));
    return {};
}

void RuntimeError(const Text& message, int code) {
    Engine& e = E();
    ++e.errors;
    // The first error ends the program; any that its box or the ending provoke only count.
    if (e.reportingError || e.ending) return;
    e.reportingError = true;
    Text text = Message("运行时出错!\r\n\r\n");
    if (code != 0) text += Message("错误代码：") + std::to_string(code) + "\r\n\r\n";
    if (!message.empty()) text += Message("错误信息：") + message + "\r\n";
    CurrentSeams().messageBox->Show(text, Text(), kBoxOk | kBoxIconError);
    e.endRoutine = nullptr;
    EndProgram(-1);
}

int RuntimeErrorCount() {
    return E().errors;
}

void EndProgram(int code) {
    Engine& e = E();
    ++e.errors; // nothing is dispatched any more
    if (e.ending) return;
    if (QCoreApplication::instance() && QThread::currentThread() != QCoreApplication::instance()->thread()) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [code]() { EndProgram(code); }, Qt::QueuedConnection);
        CurrentSeams().programEnd->End(code);
        return;
    }
    e.ending = true;
    DropAllWindows();
    if (auto routine = std::move(e.endRoutine)) {
        e.endRoutine = nullptr;
        routine();
    }
    CurrentSeams().programEnd->End(code);
    // Only a recording seam returns here: the loop stops as if the process had gone.
    if (e.loop) e.loop->exit(code);
}

const format::WindowData* LoadedWindowData() {
    return E().data ? &*E().data : nullptr;
}

} // namespace paveno::forms
