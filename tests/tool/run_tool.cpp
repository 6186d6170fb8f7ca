#include "run_tool.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace zarn::test {

namespace {

std::string drain(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(fd, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    close(fd);
    return text;
}

std::vector<std::string> childEnvironment(const Environment& env) {
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const auto equals = text.find('=');
        if (equals != std::string::npos && text.rfind("ZARN_TEST_", 0) != 0) {
            variables[text.substr(0, equals)] = text.substr(equals + 1);
        }
    }
    variables["LD_LIBRARY_PATH"] = ZARN_TEST_ENGINE_DIR;
    for (const auto& [name, value] : env) {
        variables[name] = value;
    }
    std::vector<std::string> result;
    for (const auto& [name, value] : variables) {
        result.push_back(name + "=" + value);
    }
    return result;
}

// A command put in front of the tool, such as valgrind for make memcheck.
std::vector<std::string> toolWrapper() {
    std::vector<std::string> words;
    if (const char* wrapper = std::getenv("ZARN_TEST_TOOL_WRAPPER")) {
        std::istringstream stream(wrapper);
        std::string word;
        while (stream >> word) {
            words.push_back(word);
        }
    }
    return words;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (auto& text : strings) {
        result.push_back(text.data());
    }
    result.push_back(nullptr);
    return result;
}

}  // namespace

ToolRun runTool(const std::vector<std::string>& args, const Environment& env,
                const std::string& stdoutPath) {
    std::vector<std::string> argv = toolWrapper();
    argv.push_back(ZARN_CLI_PATH);
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> envp = childEnvironment(env);
    auto argvPointers = pointers(argv);
    auto envPointers = pointers(envp);

    int outPipe[2];
    int errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const auto started = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (!stdoutPath.empty()) {
            const int fd = open(stdoutPath.c_str(), O_WRONLY);
            dup2(fd, STDOUT_FILENO);
        } else {
            dup2(outPipe[1], STDOUT_FILENO);
        }
        dup2(errPipe[1], STDERR_FILENO);
        close(outPipe[0]);
        close(outPipe[1]);
        close(errPipe[0]);
        close(errPipe[1]);
        execvpe(argvPointers[0], argvPointers.data(), envPointers.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);

    ToolRun run;
    std::thread errReader([&] { run.err = drain(errPipe[0]); });
    run.out = drain(outPipe[0]);
    errReader.join();

    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    run.maxResidentKb = usage.ru_maxrss;
    if (WIFEXITED(status)) {
        run.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        run.signal = WTERMSIG(status);
    }
    return run;
}

}  // namespace zarn::test
