#include "posix_child.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

extern char **environ;

namespace test_support {

namespace {

std::string NameOf(const std::string &entry) {
  return entry.substr(0, entry.find('='));
}

std::vector<std::string> EnvironmentOf(const PosixChild &child) {
  std::vector<std::string> env;
  for (char **e = environ; *e != nullptr; ++e) {
    if (std::find(child.unset.begin(), child.unset.end(), NameOf(*e)) == child.unset.end())
      env.push_back(*e);
  }
  for (const std::string &entry : child.environment) {
    std::erase_if(env, [&](const std::string &own) { return NameOf(own) == NameOf(entry); });
    env.push_back(entry);
  }
  return env;
}

std::vector<char *> Pointers(std::vector<std::string> &strings) {
  std::vector<char *> pointers;
  for (std::string &s : strings)
    pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

// In the child after fork: only calls that are safe there.
[[noreturn]] void Exec(const PosixChild &child, char *const argv[], char *const envp[]) {
  const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int out = open(child.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  const int err = child.errors.empty()
                      ? STDERR_FILENO
                      : open(child.errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (in < 0 || out < 0 || err < 0 || dup2(in, STDIN_FILENO) < 0 || dup2(out, STDOUT_FILENO) < 0 ||
      dup2(err, STDERR_FILENO) < 0 || chdir(child.directory.c_str()) != 0)
    _exit(126);
  for (int fd : child.closedAtStart)
    close(fd);
  const rlimit noCore{0, 0}; // a child ended by SIGQUIT leaves no core
  setrlimit(RLIMIT_CORE, &noCore);
  if (child.account && (setgroups(0, nullptr) != 0 || setgid(child.account->gid) != 0 ||
                        setuid(child.account->uid) != 0))
    _exit(125);
  execve(argv[0], argv, envp);
  _exit(127);
}

} // namespace

std::optional<Account> FindAccount(const char *name) {
  const passwd *pw = getpwnam(name);
  if (pw == nullptr)
    return std::nullopt;
  return Account{pw->pw_uid, pw->pw_gid};
}

ChildRun RunPosixChild(const PosixChild &child) {
  std::vector<std::string> args{child.program.string()};
  args.insert(args.end(), child.arguments.begin(), child.arguments.end());
  std::vector<std::string> env = EnvironmentOf(child);
  const std::vector<char *> argv = Pointers(args), envp = Pointers(env);

  const pid_t pid = fork();
  if (pid == 0)
    Exec(child, argv.data(), envp.data());
  ChildRun run;
  if (pid < 0)
    return run;
  std::thread during;
  if (child.whileRunning)
    during = std::thread(child.whileRunning, pid);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(child.timeoutSeconds);
  int status = 0;
  pid_t ended = 0;
  while ((ended = waitpid(pid, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() <= deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  if (ended == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  if (during.joinable())
    during.join();
  run.finished = ended == pid;
  if (run.finished && WIFEXITED(status))
    run.exitCode = WEXITSTATUS(status);
  if (run.finished && WIFSIGNALED(status))
    run.signal = WTERMSIG(status);
  return run;
}

ChildRun RunChild(const std::filesystem::path &program, const char *argument,
                  const std::filesystem::path &directory, const std::filesystem::path &output,
                  int timeoutSeconds) {
  PosixChild child;
  child.program = program;
  if (argument != nullptr)
    child.arguments.push_back(argument);
  child.directory = directory;
  child.output = output;
  child.timeoutSeconds = timeoutSeconds;
  return RunPosixChild(child);
}

} // namespace test_support
