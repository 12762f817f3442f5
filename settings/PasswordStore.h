#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "settings/SettingsRecord.h"

namespace qv {

// Keeps the HTTP query password and the FTP password of a settings record in the desktop keyring
// (the Secret Service: GNOME Keyring, KWallet, KeePassXC) through QtKeychain, wherever one
// answers on the session bus; elsewhere they stay in the settings file, and it says so once.
// The entries are "Quorvane HTTP query password" and "Quorvane FTP password", each with the
// settings file's path as its key.
//
// The record tells which passwords the keyring keeps (SettingsRecord::PasswordsInKeyring); the
// settings file empties a password's key only after the keyring confirmed holding its value.
// Nothing talks to the session bus before a password is needed, on the first read or write. The
// keyring answers through the event loop, each answer awaited at most Bound(): a locked keyring
// may be waiting for its unlock prompt, and a keyring that went away may never answer.
class PasswordStore : public QObject {
    Q_OBJECT
  public:
    explicit PasswordStore(SettingsRecord& settings, QObject* parent = nullptr);
    ~PasswordStore() override;

    void SetBound(std::chrono::milliseconds bound) { m_bound = bound; }
    std::chrono::milliseconds Bound() const { return m_bound; }

    // Some password of the record is still in the keyring only.
    bool NeedsRead() const { return m_settings.PasswordsToRead != 0; }
    // Reads the passwords of `wanted` (kKeyringQueryPassword, ...) that are still
    // in the keyring only into the record; the others stay where they are, so that an exchange
    // brings into memory only the secret its method needs. `done(ok)` runs from the event loop
    // when the keyring has answered (or Bound() has passed); reads asked for meanwhile share the
    // answer, and one that wants a password the running read does not bring reads again after
    // it. After a failure ErrorText() says why and the record's passwords stay empty.
    void Read(std::function<void(bool ok)> done, int wanted = kKeyringAllPasswords);
    // Ends a running read at once as failed, for a caller that cannot wait for the event loop
    // (the program is ending): its callers get done(false), and an answer arriving later is
    // dropped. ErrorText() then says so, unless an earlier read failed for a reason of its own.
    void GiveUpRead();
    QString ErrorText() const { return m_error; }

    // Called after the settings file was written: moves into the keyring the passwords the file
    // holds; once the keyring has confirmed, `save` writes the file again without them. Where no
    // keyring answers, or it refuses, the passwords stay in the file and Message() says so (once
    // for the missing keyring, once for each refused value).
    void Keep(std::function<bool()> save);
    bool IsWriting() const { return m_writing; }

  signals:
    // A read has ended; on success the record holds the passwords.
    void ReadFinished(bool ok);
    // A line for the output box.
    void Message(const QString& text);

  private:
    struct Job;
    struct Run;
    void StartRead();
    void EndRead(bool ok, const QString& error);
    std::shared_ptr<Run> RunJobs(std::vector<Job> jobs,
                                 std::function<void(bool ok, const QString& error)> done);

    SettingsRecord& m_settings;
    std::chrono::milliseconds m_bound{25000};
    struct Waiting {
        int wanted;
        std::function<void(bool)> done;
    };
    std::vector<Waiting> m_waiting;  // callers of the running read
    int m_asked = 0;                 // the passwords the running read asks the keyring for
    bool m_reading = false;
    bool m_startQueued = false;
    std::shared_ptr<Run> m_read;  // the keyring jobs of the running read
    bool m_writing = false;
    bool m_absentTold = false;
    QStringList m_refusedValues;  // values the keyring refused: not tried again until they change
    int m_refused = 0;
    QString m_error;
};

}  // namespace qv
