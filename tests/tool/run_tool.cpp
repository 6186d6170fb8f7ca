#include "run_tool.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>

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

std::string setting(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

std::string engineDir() {
    return setting("ZARN_TEST_ENGINE_DIR", ZARN_TEST_ENGINE_DIR);
}

std::string ownTool() {
    return setting("ZARN_TEST_TOOL_PATH", ZARN_CLI_PATH);
}

// Linux picks the engine through the library path; Windows loads the zarn.dll
// next to the exe, so the exe is taken from the engine's folder.
std::string toolFor(const std::string& libraryPath) {
    if (!toolIsWindows()) {
        return ownTool();
    }
    const std::filesystem::path tool = std::filesystem::absolute(ownTool());
    if (libraryPath.empty()) {
        return tool.string();
    }
    return (std::filesystem::absolute(libraryPath) / tool.filename()).string();
}

// Wine shows the Unix root as drive Z:.
std::string windowsPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// Hands absolute paths to a Windows tool in the form its users would type,
// and maps exactly those back in what the tool prints, so the expectations
// written with the Unix paths hold.
class WindowsPaths {
  public:
    std::string toTool(const std::string& arg) {
        if (arg.rfind('/', 0) == 0) {
            const std::string shown = windowsPath(arg);
            mapped_.emplace_back(shown, arg);
            return shown;
        }
        // Inside a quoted token a backslash escapes the next character, so
        // the path keeps its forward slashes, which Windows accepts too.
        if (arg.rfind("\"/", 0) == 0) {
            return "\"Z:" + arg.substr(1);
        }
        return arg;
    }

    std::string fromTool(std::string text) const {
        for (auto at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
            text.erase(at, 1);
        }
        auto longestFirst = mapped_;
        std::sort(longestFirst.begin(), longestFirst.end(),
                  [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
        for (const auto& [shown, given] : longestFirst) {
            for (auto at = text.find(shown); at != std::string::npos;
                 at = text.find(shown, at + given.size())) {
                text.replace(at, shown.size(), given);
            }
        }
        return text;
    }

  private:
    std::vector<std::pair<std::string, std::string>> mapped_;
};

std::vector<std::string> childEnvironment(const Environment& env) {
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const auto equals = text.find('=');
        if (equals != std::string::npos && text.rfind("ZARN_TEST_", 0) != 0) {
            variables[text.substr(0, equals)] = text.substr(equals + 1);
        }
    }
    const bool windows = toolIsWindows();
    if (!windows) {
        variables["LD_LIBRARY_PATH"] = engineDir();
    }
    for (const auto& [name, value] : env) {
        if (!windows) {
            variables[name] = value;
        } else if (name != "LD_LIBRARY_PATH") {
            // The test engine opens ZARN_TEST_LOG with the Windows C runtime.
            variables[name] = value.rfind('/', 0) == 0 ? windowsPath(value) : value;
        }
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

bool toolIsWindows() {
    return setting("ZARN_TEST_WINDOWS", "") == "1";
}

std::string toolPathShown() {
    const std::string tool = toolFor(engineDir());
    return toolIsWindows() ? windowsPath(tool) : tool;
}

std::string pathForTool(const std::string& path) {
    return toolIsWindows() ? windowsPath(path) : path;
}

ToolRun runTool(const std::vector<std::string>& args, const Environment& env,
                const std::string& stdoutPath) {
    const auto library = env.find("LD_LIBRARY_PATH");
    const bool windows = toolIsWindows();
    WindowsPaths paths;
    std::vector<std::string> argv = toolWrapper();
    argv.push_back(toolFor(library == env.end() ? engineDir() : library->second));
    for (const auto& arg : args) {
        argv.push_back(windows ? paths.toTool(arg) : arg);
    }
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
    run.rawOut = drain(outPipe[0]);
    errReader.join();
    run.out = run.rawOut;
    if (windows) {
        run.out = paths.fromTool(run.rawOut);
        run.err = paths.fromTool(run.err);
    }

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
