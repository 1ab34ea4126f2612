#include "app/Handoff.h"

#include "lib/Profile.h"
#include "platform/File.h"
#include "platform/Process.h"
#include "settings/Configuration_folders.h"
#include "ui/Main.h"

#include <QByteArray>
#include <QLocalSocket>

namespace {

constexpr int connect_timeout_ms = 2000;
// The message that asks the running copy to take the hand-off file.
const QByteArray hand_off_bytes = QByteArray::number(handoff::hand_off_message) + '\n';

} // namespace

APP_EXISTER open_app_exister()
{
    return APP_EXISTER{platform::open_instance_guard(platform::runtime_folder(), handoff::guard_name)};
}

QString hand_off_server_name(qint64 pid)
{
    return QString::fromStdString(platform::runtime_folder()) + QStringLiteral("dravinex-hand-off-")
        + QString::number(pid);
}

qint64 read_stored_handle(const std::string& handle_path)
{
    try {
        return lib::Profile::load(handle_path).read_int(handoff::handle_section, handoff::handle_key, 0);
    }
    catch (const std::exception&) {
        return 0;
    }
}

bool write_stored_handle(const std::string& handle_path, qint64 pid)
{
    try {
        lib::Profile handle = lib::Profile::load(handle_path);
        handle.write_string(handoff::handle_section, handoff::handle_key, std::to_string(pid));
        handle.save(handle_path);
        return true;
    }
    catch (const std::exception&) {
        return false;
    }
}

std::string forward_to_running_copy(qint64 pid, const std::string& files_path, const std::vector<std::string>& arguments)
{
    QLocalSocket socket;
    socket.connectToServer(hand_off_server_name(pid));
    // Nobody listening: the recorded copy is gone, and a path left in ".files" would only
    // start a surprise run in some later copy.
    if (!socket.waitForConnected(connect_timeout_ms))
        return {};
    // A package that could not be queued must not look handed over: the running copy is
    // not woken for nothing, and the caller says what was lost.
    if (!arguments.empty()) {
        int error = 0;
        if (!platform::append_line_locked(files_path, arguments.front(), error))
            return handoff::not_queued + arguments.front() + handoff::not_queued_because + files_path + ": "
                + platform::error_text(error);
    }
    socket.write(hand_off_bytes);
    socket.waitForBytesWritten(connect_timeout_ms);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(connect_timeout_ms);
    return {};
}

std::vector<std::string> take_handed_over_files(const std::string& files_path, bool& found)
{
    return platform::take_lines_locked(files_path, found);
}

HandOffServer::HandOffServer(QObject* parent) : QObject(parent)
{
    connect(&server_, &QLocalServer::newConnection, this, &HandOffServer::accept_connections);
}

bool HandOffServer::listen(qint64 pid)
{
    const QString name = hand_off_server_name(pid);
    QLocalServer::removeServer(name);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    return server_.listen(name);
}

void HandOffServer::accept_connections()
{
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        auto read_messages = [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine().trimmed() == QByteArray::number(handoff::hand_off_message))
                    emit handOff();
            }
        };
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, read_messages);
        read_messages();
    }
}

void listen_for_hand_offs(TDravinexMainForm& window, const ProgramFolders& folders)
{
    auto* server = new HandOffServer(&window); // owned by the window
    // Queued: the window takes the handed-over files once the socket's own work is done.
    QObject::connect(server, &HandOffServer::handOff, &window, [&window] { window.receive_hand_off(); },
                     Qt::QueuedConnection);
    const qint64 pid = platform::current_process_id();
    if (!server->listen(pid))
        window.add_journal_line(QString::fromUtf8(main_text::hand_off_not_listening) + server->error_text());
    if (!write_stored_handle(folders.handle, pid))
        window.note_home_not_writable();
}
