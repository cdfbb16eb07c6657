// Starting the certificate reader child, bounding it and reading its output.
#include "certificates/CertificateChild.h"

#include "base/HelperProgram.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <mutex>
#include <set>

namespace CertificateChild {

namespace {

// How long a killed child may take to be reaped.
constexpr int kReapMs = 2000;

struct Running {
    std::mutex mutex;
    std::set<qint64> pids;
};

// Never destroyed: a run still going on a worker thread while the program
// exits must not meet a destroyed set (nor a destroyed program path).
Running& running() {
    static Running* r = new Running;
    return *r;
}

QString& chosenProgram() {
    static QString* path = new QString;
    return *path;
}

// Runs in the child between fork and exec: only system calls. A limit that
// cannot be set ends the child, which the parent then sees as a crash.
void limitChild(rlim_t memoryBytes, int secretFd) {
    rlimit space{};
    if (::getrlimit(RLIMIT_AS, &space) != 0)
        ::_exit(127);
    const rlim_t bound =
        space.rlim_max == RLIM_INFINITY ? memoryBytes : std::min(memoryBytes, space.rlim_max);
    space.rlim_cur = bound;
    space.rlim_max = bound;
    const rlimit noCore{0, 0}; // a driver's crash leaves no core file (nor memory) behind
    if (::setrlimit(RLIMIT_AS, &space) != 0 || ::setrlimit(RLIMIT_CORE, &noCore) != 0)
        ::_exit(127);
    if (secretFd >= 0 && ::dup2(secretFd, STDIN_FILENO) < 0)
        ::_exit(127);
    // A child of a client that ends goes with it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
}

// The two ends of the secret's pipe, closed when the run ends.
struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() = default;
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    ~Pipe() { closeBoth(); }
    void closeEnd(int i) {
        if (fds[i] >= 0)
            ::close(fds[i]);
        fds[i] = -1;
    }
    void closeBoth() {
        closeEnd(0);
        closeEnd(1);
    }
};

class Registration {
public:
    explicit Registration(QProcess& child) : m_pid(child.processId()) {
        Running& r = running();
        const std::lock_guard<std::mutex> lock(r.mutex);
        r.pids.insert(m_pid);
    }
    ~Registration() {
        Running& r = running();
        const std::lock_guard<std::mutex> lock(r.mutex);
        r.pids.erase(m_pid);
    }
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

private:
    qint64 m_pid;
};

} // namespace

void setProgram(const QString& path) {
    chosenProgram() = path;
}

QString program() {
    if (!chosenProgram().isEmpty())
        return chosenProgram();
    return HelperProgram::find(QString::fromLatin1(kProgramName));
}

std::vector<CertificateFrames::Record> run(const QStringList& arguments, const Limits& limits,
                                           const QByteArray* secret) {
    using Kind = Failure::Kind;
    const QString helper = program();
    if (helper.isEmpty() || !QFileInfo(helper).isExecutable())
        throw Failure(Kind::Missing, QString::fromLatin1(kProgramName));

    Pipe pipe;
    if (secret && ::pipe2(pipe.fds, O_CLOEXEC) != 0)
        throw Failure(Kind::Missing, QStringLiteral("pipe"));
    QProcess child;
    child.setProgram(helper);
    child.setArguments(arguments);
    child.setStandardInputFile(QProcess::nullDevice());
    // The drivers' own messages go where the client's go, unread.
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const rlim_t memory = static_cast<rlim_t>(limits.memoryBytes);
    const int secretFd = pipe.fds[0];
    child.setChildProcessModifier([memory, secretFd] { limitChild(memory, secretFd); });

    const QDeadlineTimer deadline(limits.timeout);
    child.start(QIODevice::ReadOnly);
    if (!child.waitForStarted(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1))))
        throw Failure(Kind::Missing, helper + QStringLiteral(": ") + child.errorString());
    const Registration registered(child);
    if (secret) {
        pipe.closeEnd(0);
        // Far below a pipe's buffer: written whole before the child reads.
        qsizetype done = 0;
        while (done < secret->size()) {
            const ssize_t n = ::write(pipe.fds[1], secret->constData() + done,
                                      static_cast<std::size_t>(secret->size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += n;
        }
        pipe.closeEnd(1);
    }

    QByteArray output;
    const auto stop = [&child](Kind kind, const QString& why) {
        child.kill();
        child.waitForFinished(kReapMs);
        throw Failure(kind, why);
    };
    while (child.state() != QProcess::NotRunning) {
        if (deadline.hasExpired())
            stop(Kind::TimedOut, QString());
        const int wait = static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0));
        // No data before the deadline while still running means the child
        // closed its output: nothing more can come, so wait for its end.
        if (!child.waitForReadyRead(wait) && child.state() != QProcess::NotRunning &&
            !deadline.hasExpired())
            child.waitForFinished(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)));
        output += child.readAllStandardOutput();
        if (output.size() > limits.outputBytes)
            stop(Kind::TooLarge, QString());
    }
    output += child.readAllStandardOutput();
    if (output.size() > limits.outputBytes)
        throw Failure(Kind::TooLarge, QString());
    if (child.exitStatus() != QProcess::NormalExit)
        throw Failure(Kind::Crashed, QString());
    CertificateFrames::Parsed parsed = CertificateFrames::parse(
        std::string_view(output.constData(), static_cast<std::size_t>(output.size())));
    if (!parsed.ok)
        throw Failure(child.exitCode() == 0 ? Kind::Malformed : Kind::Crashed,
                      QString::fromStdString(parsed.error));
    return std::move(parsed.records);
}

void stopAll() {
    Running& r = running();
    const std::lock_guard<std::mutex> lock(r.mutex);
    for (const qint64 pid : r.pids)
        ::kill(static_cast<pid_t>(pid), SIGKILL);
}

} // namespace CertificateChild
