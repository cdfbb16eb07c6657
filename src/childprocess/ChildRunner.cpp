// Starting a helper child, bounding it, reading its output and ending its
// process group.
#include "childprocess/ChildRunner.h"

#include "base/HelperProgram.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QProcess>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <mutex>
#include <set>

namespace ChildRunner {

namespace {

// How long a killed child may take to be reaped before the client stops
// waiting for it.
constexpr int kReapMs = 2000;

// Never destroyed: a run still going on a worker thread while the program
// exits must not meet a destroyed set or map.
struct Shared {
    std::mutex mutex;
    std::set<pid_t> groups;           // of the runs going on
    QHash<QByteArray, QString> paths; // set by setProgram
};

Shared& shared() {
    static Shared* s = new Shared;
    return *s;
}

// Runs in the child between fork and exec: only system calls. A step that
// fails ends the child, which the parent then sees as a bad exit.
void prepareChild(rlim_t memoryBytes, int inputFd, pid_t client) {
    // A group of its own, so that what it forks is killed with it. The
    // parent sets it too: whichever runs first, the group exists before the
    // parent may kill it.
    if (::setpgid(0, 0) != 0)
        ::_exit(127);
    rlimit space{};
    if (::getrlimit(RLIMIT_AS, &space) != 0)
        ::_exit(127);
    const rlim_t bound =
        space.rlim_max == RLIM_INFINITY ? memoryBytes : std::min(memoryBytes, space.rlim_max);
    space.rlim_cur = bound;
    space.rlim_max = bound;
    const rlimit noCore{0, 0}; // a crash leaves no core file (nor memory) behind
    if (::setrlimit(RLIMIT_AS, &space) != 0 || ::setrlimit(RLIMIT_CORE, &noCore) != 0)
        ::_exit(127);
    if (inputFd >= 0 && ::dup2(inputFd, STDIN_FILENO) < 0)
        ::_exit(127);
    // A child of a client that ends goes with it; a client that ended
    // before this line sent no signal, and the child now belongs to another.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != client)
        ::_exit(127);
}

// The two ends of the input's pipe, closed when the run ends.
struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() = default;
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    ~Pipe() {
        closeEnd(0);
        closeEnd(1);
    }
    void closeEnd(int i) {
        if (fds[i] >= 0)
            ::close(fds[i]);
        fds[i] = -1;
    }
};

// A started child's group, known to stopAll while the run goes on and
// killed whole when it ends, however it ends; the child is then reaped.
class Group {
public:
    explicit Group(QProcess& child) : m_child(child), m_id(static_cast<pid_t>(child.processId())) {
        // EACCES once the child has run its program: it set the group itself.
        ::setpgid(m_id, m_id);
        Shared& s = shared();
        const std::lock_guard<std::mutex> lock(s.mutex);
        s.groups.insert(m_id);
    }
    ~Group() {
        {
            Shared& s = shared();
            const std::lock_guard<std::mutex> lock(s.mutex);
            s.groups.erase(m_id);
        }
        // What the child left running (a driver's helper) goes with it.
        ::kill(-m_id, SIGKILL);
        if (m_child.state() != QProcess::NotRunning)
            m_child.waitForFinished(kReapMs);
    }
    Group(const Group&) = delete;
    Group& operator=(const Group&) = delete;

private:
    QProcess& m_child;
    pid_t m_id;
};

void writeInput(int fd, const QByteArray& input) {
    // Far below a pipe's buffer: written whole before the child reads.
    qsizetype done = 0;
    while (done < input.size()) {
        const ssize_t n =
            ::write(fd, input.constData() + done, static_cast<std::size_t>(input.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
}

int remainingMs(const QDeadlineTimer& deadline) {
    return static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0));
}

} // namespace

void setProgram(const char* name, const QString& path) {
    Shared& s = shared();
    const std::lock_guard<std::mutex> lock(s.mutex);
    s.paths.insert(QByteArray(name), path);
}

QString program(const char* name) {
    {
        Shared& s = shared();
        const std::lock_guard<std::mutex> lock(s.mutex);
        const QString set = s.paths.value(QByteArray(name));
        if (!set.isEmpty())
            return set;
    }
    return HelperProgram::find(QString::fromLatin1(name));
}

Exit run(const Launch& launch, const OutputReader& reader) {
    using Kind = Failure::Kind;
    const QFileInfo info(launch.program);
    if (launch.program.isEmpty() || !info.isFile() || !info.isExecutable())
        throw Failure(Kind::Missing, QString());

    Pipe input;
    if (launch.input && ::pipe2(input.fds, O_CLOEXEC) != 0)
        throw Failure(Kind::Missing, QStringLiteral("pipe"));
    QProcess child;
    child.setProgram(launch.program);
    child.setArguments(launch.arguments);
    child.setStandardInputFile(QProcess::nullDevice());
    // The children's and their libraries' own messages go where the
    // client's go, unread.
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const rlim_t memory = static_cast<rlim_t>(launch.limits.memoryBytes);
    const int inputFd = input.fds[0];
    const pid_t client = ::getpid();
    child.setChildProcessModifier(
        [memory, inputFd, client] { prepareChild(memory, inputFd, client); });

    QDeadlineTimer deadline(launch.limits.timeout);
    child.start(QIODevice::ReadOnly);
    if (!child.waitForStarted(std::max(remainingMs(deadline), 1)))
        throw Failure(Kind::Missing, launch.program + QStringLiteral(": ") + child.errorString());
    const Group group(child);
    if (launch.input) {
        input.closeEnd(0);
        writeInput(input.fds[1], *launch.input);
        input.closeEnd(1);
    }

    qint64 bytesRead = 0;
    // Hands over what the child wrote so far; the time the reader takes is
    // the client's, not the child's.
    const auto take = [&] {
        const QByteArray piece = child.readAllStandardOutput();
        if (piece.isEmpty())
            return;
        bytesRead += piece.size();
        if (bytesRead > launch.limits.outputBytes)
            throw Failure(Kind::TooLarge, QString());
        QElapsedTimer spent;
        spent.start();
        reader(std::string_view(piece.constData(), static_cast<std::size_t>(piece.size())));
        deadline.setRemainingTime(std::chrono::nanoseconds(
            std::max<qint64>(deadline.remainingTimeNSecs(), 0) + spent.nsecsElapsed()));
    };
    while (child.state() != QProcess::NotRunning) {
        if (deadline.hasExpired())
            throw Failure(Kind::TimedOut, QString());
        // No data before the deadline while still running means the child
        // closed its output: nothing more can come, so wait for its end.
        if (!child.waitForReadyRead(remainingMs(deadline)) &&
            child.state() != QProcess::NotRunning && !deadline.hasExpired())
            child.waitForFinished(remainingMs(deadline));
        take();
    }
    take();
    return {child.exitStatus() == QProcess::NormalExit, child.exitCode()};
}

void stopAll() {
    Shared& s = shared();
    const std::lock_guard<std::mutex> lock(s.mutex);
    for (const pid_t group : s.groups)
        ::kill(-group, SIGKILL);
}

} // namespace ChildRunner
