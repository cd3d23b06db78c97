// Runs a built program in a child process and compares its four channels with what a test expects.
#include "e2e.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace e2e {
namespace {

// A run that takes longer than this is taken for a hang and killed.
constexpr unsigned kRunTimeoutSeconds = 120;

std::string env_or(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return (v && *v) ? std::string(v) : fallback;
}

std::string program_path(const std::string& program) {
    return env_or("HPKIT_BIN_DIR", HPKIT_DEFAULT_BIN_DIR) + "/" + program +
           env_or("HPKIT_EXE_SUFFIX", "");
}

std::vector<std::string> runner_words() {
    std::vector<std::string> words;
    std::istringstream in(env_or("HPKIT_RUNNER", ""));
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

std::string shell_quote(const std::string& s) {
    if (!s.empty() && s.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                          "0123456789_-+=./:,@%") == std::string::npos)
        return s;
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

std::optional<Bytes> slurp(const fs::path& p) {
    std::error_code ec;
    if (!fs::exists(p, ec) || fs::is_directory(p, ec))
        return std::nullopt;
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Describes the first difference of two byte strings.
std::string difference(const Bytes& want, const Bytes& got) {
    size_t i = 0;
    while (i < want.size() && i < got.size() && want[i] == got[i])
        ++i;
    std::ostringstream m;
    m << "first difference at byte " << i << " (expected " << want.size() << " bytes, got "
      << got.size() << ")\n      expected: " << render(want) << "\n      actual:   " << render(got);
    return m.str();
}

} // namespace

bool windows_target() {
    return env_or("HPKIT_TARGET", "") == "windows";
}

Bytes as_text_stream(const Bytes& posix_bytes) {
    if (!windows_target())
        return posix_bytes;
    Bytes out;
    for (size_t i = 0; i < posix_bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(posix_bytes[i]);
        const auto next = [&](size_t k) {
            return i + k < posix_bytes.size() ? static_cast<unsigned char>(posix_bytes[i + k]) : 0;
        };
        if (c == '\n') {
            out += "\r\n";
        } else if ((c == 0xC2 || c == 0xC3) && (next(1) & 0xC0) == 0x80) {
            out += static_cast<char>(((c & 0x03) << 6) | (next(1) & 0x3F)); // U+0080..U+00FF
            ++i;
        } else if (c == 0xE2 && next(1) == 0x82 && next(2) == 0xAC) {
            out += static_cast<char>(0x80); // the euro sign, U+20AC
            i += 2;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string portable_name(const std::string& name) {
    if (!windows_target())
        return name;
    std::string s = name;
    for (char& c : s)
        if (c == '"')
            c = '\'';
    return s;
}

std::string render(const Bytes& bytes, size_t limit) {
    std::string s = "\"";
    for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\n')
            s += "\\n";
        else if (c == '\t')
            s += "\\t";
        else if (c == '"' || c == '\\')
            s += std::string("\\") + static_cast<char>(c);
        else if (c >= 0x20 && c < 0x7F)
            s += static_cast<char>(c);
        else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            s += buf;
        }
    }
    s += "\"";
    if (bytes.size() > limit)
        s += "... (" + std::to_string(bytes.size()) + " bytes)";
    return s;
}

Bytes bytes_of(std::initializer_list<int> values) {
    Bytes b;
    for (int v : values)
        b += static_cast<char>(v & 0xFF);
    return b;
}

Bytes repeat(int value, size_t count) {
    return Bytes(count, static_cast<char>(value & 0xFF));
}

void Test::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
        if (c == '/')
            c = '_';
    dir_ = fs::path(HPKIT_E2E_WORK_DIR) / name;
    fs::remove_all(dir_);
    fs::remove_all(dir_.string() + ".io");
    fs::create_directories(dir_);
    fs::create_directories(dir_.string() + ".io");
}

std::string Test::path(const std::string& name) const {
    return (dir_ / name).string();
}

void Test::write_file(const std::string& name, const Bytes& data) const {
    std::ofstream out(dir_ / name, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out)
        ADD_FAILURE() << "could not write test input " << path(name);
}

Bytes Test::read_file(const std::string& name) const {
    auto data = slurp(dir_ / name);
    if (!data)
        ADD_FAILURE() << "missing file " << path(name);
    return data.value_or(Bytes());
}

bool Test::exists(const std::string& name) const {
    std::error_code ec;
    return fs::exists(dir_ / name, ec);
}

std::vector<std::string> Test::folder() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string Test::command_line(const std::string& program,
                               const std::vector<std::string>& args) const {
    std::string cmd = "cd " + shell_quote(dir_.string()) + " &&";
    for (const auto& w : runner_words())
        cmd += " " + shell_quote(w);
    cmd += " " + shell_quote(program_path(program));
    for (const auto& a : args)
        cmd += " " + shell_quote(a);
    return cmd;
}

Outcome Test::run(const std::string& program, const std::vector<std::string>& args,
                  const std::vector<std::string>& files) const {
    std::vector<std::string> words = runner_words();
    words.push_back(program_path(program));
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    const std::string io = dir_.string() + ".io";
    const std::string out_path = io + "/stdout", err_path = io + "/stderr";
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || chdir(dir_.c_str()) != 0)
            _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        alarm(kRunTimeoutSeconds);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    Outcome o;
    int ws = 0;
    if (pid < 0 || waitpid(pid, &ws, 0) != pid) {
        ADD_FAILURE() << "could not run " << command_line(program, args) << ": "
                      << std::strerror(errno);
        return o;
    }
    o.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
    o.out = slurp(out_path).value_or("");
    o.err = slurp(err_path).value_or("");
    for (const auto& f : files)
        o.files[f] = slurp(dir_ / f);
    return o;
}

::testing::AssertionResult Test::check(const std::string& program,
                                       const std::vector<std::string>& args,
                                       const Expected& expected) const {
    std::vector<std::string> names;
    for (const auto& kv : expected.files)
        names.push_back(kv.first);
    Outcome got = run(program, args, names);

    std::ostringstream m;
    if (got.status != expected.status)
        m << "  exit status: expected " << expected.status << ", got " << got.status
          << (got.status > 128 && got.status < 160 ? " (killed by a signal?)" : "") << "\n";
    const Bytes want_out = as_text_stream(expected.out), want_err = as_text_stream(expected.err);
    if (got.out != want_out)
        m << "  stdout: " << difference(want_out, got.out) << "\n";
    if (got.err != want_err)
        m << "  stderr: " << difference(want_err, got.err) << "\n";
    for (const auto& [name, want] : expected.files) {
        const auto& have = got.files[name];
        if (!want && have)
            m << "  file " << name << ": must not exist, but holds " << have->size() << " bytes\n";
        else if (want && !have)
            m << "  file " << name << ": missing\n";
        else if (want && *want != *have)
            m << "  file " << name << ": " << difference(*want, *have) << "\n";
    }
    if (m.str().empty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "run differs from what was expected:\n"
           << m.str() << "  repeat with: " << command_line(program, args);
}

} // namespace e2e
