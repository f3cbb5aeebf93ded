// Linux: compat's MessageBoxA writes each box to the log named by
// COMPAT_MSGBOX_LOG and answers from COMPAT_MSGBOX_ANSWERS. Both are set in
// the environment, so programs started meanwhile inherit them.
#include "support/MessageBoxes.h"

#include <windows.h>

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const char kLogVariable[] = "COMPAT_MSGBOX_LOG";
const char kAnswersVariable[] = "COMPAT_MSGBOX_ANSWERS";

// Undoes the log's escapes: \\ \n \r \t.
std::string Unescape(const std::string& field) {
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        char c = field[i];
        if (c == '\\' && i + 1 < field.size()) {
            char next = field[++i];
            c = next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : next;
        }
        text += c;
    }
    return text;
}

}  // namespace

struct BoxWatcher::State {
    std::string log;
    bool stopped = false;
    std::vector<SeenBox> seen;
};

BoxWatcher::BoxWatcher(std::vector<int> answers) : state(new State) {
    static std::atomic<unsigned> counter{0};
    std::ostringstream name;
    name << "korvel-boxes-" << getpid() << '-' << counter++ << ".log";
    state->log = (fs::temp_directory_path() / name.str()).string();
    std::ofstream(state->log, std::ios::trunc).close();
    SetEnvironmentVariableA(kLogVariable, state->log.c_str());

    std::string list;
    for (int answer : answers) list += (list.empty() ? "" : ",") + std::to_string(answer);
    SetEnvironmentVariableA(kAnswersVariable, list.empty() ? nullptr : list.c_str());
}

BoxWatcher::~BoxWatcher() {
    Stop();
    delete state;
}

std::vector<SeenBox> BoxWatcher::Stop() {
    if (state->stopped) return state->seen;
    state->stopped = true;
    SetEnvironmentVariableA(kLogVariable, nullptr);
    SetEnvironmentVariableA(kAnswersVariable, nullptr);

    std::ifstream log(state->log, std::ios::binary);
    std::string line;
    while (std::getline(log, line)) {
        size_t tab1 = line.find('\t');
        size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos) {
            // Kept, so that a broken log line fails the test looking at boxes.
            state->seen.push_back({"(unreadable log line)", line, MB_OK, false});
            continue;
        }
        unsigned long style = std::strtoul(line.c_str(), nullptr, 16);
        SeenBox box;
        box.caption = Unescape(line.substr(tab1 + 1, tab2 - tab1 - 1));
        box.text = Unescape(line.substr(tab2 + 1));
        box.buttons = style & MB_TYPEMASK;
        box.icon = (style & MB_ICONMASK) != 0;
        state->seen.push_back(box);
    }
    log.close();
    std::error_code ignored;
    fs::remove(state->log, ignored);
    return state->seen;
}
