#include "common/qt/global_hot_key.h"

#include <QKeySequence>
#include <string>

#include "common/log.h"
#include "common/log_codes.h"

namespace qarv {

namespace {

constexpr Qt::KeyboardModifiers kGrabbableModifiers =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

std::string KeyName(Qt::KeyboardModifiers modifiers, Qt::Key key) {
    const QString name = QKeySequence(QKeyCombination(modifiers, key)).toString(QKeySequence::PortableText);
    return name.isEmpty() ? "0x" + std::to_string(static_cast<unsigned>(key)) : name.toStdString();
}

const char* ReasonText(HotKeyGrabResult result) {
    switch (result) {
        case kHotKeyNoDisplay:
            return kMsgHotKeyNoDisplay;
        case kHotKeyDisplayNotAnswering:
            return kMsgHotKeyDisplayNotAnswering;
        case kHotKeyHeldElsewhere:
            return kMsgHotKeyHeldElsewhere;
        case kHotKeyUnsupported:
        case kHotKeyGrabbed:
            break;
    }
    return kMsgHotKeyUnsupported;
}

}  // namespace

GlobalHotKey::GlobalHotKey(QObject* parent)
    : QObject(parent), grabber_(CreateHotKeyGrabber([this](Qt::KeyboardModifiers modifiers, Qt::Key key) {
          OnPress(modifiers, key);
      })) {}

GlobalHotKey::~GlobalHotKey() {
    UnregisterAll();
}

int GlobalHotKey::Register(int id, Qt::KeyboardModifiers modifiers, Qt::Key key) {
    for (const Entry& entry : entries_) {
        if (entry.modifiers != modifiers || entry.key != key)
            continue;
        if (entry.id == id)
            return 0;
        LogWarn(__LINE__, kSrcGlobalHotKey, kCodeHotKeyRegisterFailed, kMsgHotKeyRegisterFailed,
                KeyName(modifiers, key).c_str(),
                (std::string(kMsgHotKeyUsedByOtherId) + std::to_string(entry.id)).c_str());
        return -1;
    }
    const HotKeyGrabResult result = (modifiers & ~kGrabbableModifiers) != Qt::NoModifier
                                        ? kHotKeyUnsupported
                                        : grabber_->Grab(modifiers, key);
    if (result != kHotKeyGrabbed) {
        LogWarn(__LINE__, kSrcGlobalHotKey, kCodeHotKeyRegisterFailed, kMsgHotKeyRegisterFailed,
                KeyName(modifiers, key).c_str(), ReasonText(result));
        return -1;
    }
    entries_.push_back({id, modifiers, key});
    return 0;
}

void GlobalHotKey::UnregisterAll() {
    for (const Entry& entry : entries_)
        grabber_->Ungrab(entry.modifiers, entry.key);
    entries_.clear();
}

void GlobalHotKey::OnPress(Qt::KeyboardModifiers modifiers, Qt::Key key) {
    for (const Entry& entry : entries_) {
        if (entry.modifiers == modifiers && entry.key == key) {
            emit Activated(entry.id, modifiers, key);
            return;
        }
    }
}

}  // namespace qarv
