#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace qv {

// The keyring work PasswordStore hands to the keyring module (QtKeychain over QtDBus). The
// module is loaded on the first need, so that a process that never needs the keyring does not
// carry those libraries.
class KeyringBackend {
  public:
    enum Status { kOk, kNotFound, kFailed };
    // `text` is the value read, or why it failed.
    using Done = std::function<void(Status status, const QString& text)>;

    virtual ~KeyringBackend() = default;
    // A Secret Service (or KWallet) is on the session bus, or the bus starts one on demand.
    virtual bool OnBus() = 0;
    // Reads or writes the entry `key` of `service`; `done` runs from the event loop unless
    // `context` has been destroyed by then.
    virtual void Read(const QString& service, const QString& key, QObject* context, Done done) = 0;
    virtual void Write(const QString& service, const QString& key, const QString& value,
                       QObject* context, Done done) = 0;
};

// The module's one exported function.
using CreateKeyringBackend = KeyringBackend* (*)();
inline constexpr const char* kCreateKeyringBackend = "qv_create_keyring_backend";

}  // namespace qv
