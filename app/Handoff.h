#pragma once
// Single copy and hand-off between copies of the window program.
//
// APP_EXISTER marks a running copy (see platform/Session.h). A copy that finds another one
// running reads that copy's process id from ".handle" (section "MainForm", key "Handle").
// When it is not 0, the copy connects to the running copy's local socket
// "<runtime folder>dravinex-hand-off-<pid>", appends its file argument as one line to
// ".files" under the file's lock, writes the message number and ends. Nobody listening
// means the hand-off is lost silently, as the running copy is gone.
//
// The running copy listens through HandOffServer and takes every line of ".files" under the
// same lock, so several forwarding copies at once lose nothing. GUI thread only.

#include "platform/Session.h"

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <memory>
#include <string>
#include <vector>

namespace handoff {
inline constexpr const char* guard_name = "Dravinex3.exe.exists";
inline constexpr const char* handle_section = "MainForm";
inline constexpr const char* handle_key = "Handle";
inline constexpr int hand_off_message = 2026;
// "Пакет PATH не передан работающей копии программы: не удалось дописать его в FILES: reason".
inline constexpr const char* not_queued = "Пакет ";
inline constexpr const char* not_queued_because = " не передан работающей копии программы: не удалось дописать его в ";
} // namespace handoff

struct APP_EXISTER {
    platform::InstanceGuard guard;
    bool exists() const { return guard.exists; }
};

// Takes the single-copy guard in the runtime folder.
APP_EXISTER open_app_exister();

// The local socket a copy with this process id listens on.
QString hand_off_server_name(qint64 pid);

// The process id stored in ".handle", or 0 when there is none (missing or unreadable file).
qint64 read_stored_handle(const std::string& handle_path);
// Writes this process's id into ".handle"; false when the file could not be written.
bool write_stored_handle(const std::string& handle_path, qint64 pid);

// The forwarding copy's whole job: queue the argument (when given) and wake the running copy.
// Empty when done (or when nobody listens, see above); otherwise why the package could not
// be queued, for the user, and the running copy was not woken.
std::string forward_to_running_copy(qint64 pid, const std::string& files_path, const std::vector<std::string>& arguments);

// Every path handed over since the last call, oldest first; `found` tells whether ".files"
// existed at all.
std::vector<std::string> take_handed_over_files(const std::string& files_path, bool& found);

class TDravinexMainForm;
struct ProgramFolders;

// Makes the main window the receiver of hand-offs: listens for this process, then writes its
// id into ".handle" (last, so that a copy reading it finds a window that listens). Either
// failure is a journal line of the window; the listener lives as long as the window.
void listen_for_hand_offs(TDravinexMainForm& window, const ProgramFolders& folders);

// Listens for forwarding copies and emits handOff() for each message that arrives.
class HandOffServer : public QObject {
    Q_OBJECT
public:
    explicit HandOffServer(QObject* parent = nullptr);
    // Listens for this process; a socket left behind by a crashed copy of the same id is
    // removed first. False when listening failed.
    bool listen(qint64 pid);
    QString error_text() const { return server_.errorString(); }

signals:
    void handOff();

private:
    void accept_connections();

    QLocalServer server_;
};
