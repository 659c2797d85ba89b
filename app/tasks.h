// The five tasks the program offers and the final action that ends every countdown that
// runs out: the end signal, the start of the task's system tool, the end of the program.
#pragma once

#include <array>
#include <cstdint>

// The task is always the current selection of the task list (control 7); this is its index.
enum TaskKind : int32_t {
    TASK_END = 0,
    TASK_RESTART = 1,
    TASK_STANDBY = 2,
    TASK_CHANGE_USER = 3,
    TASK_END_USER = 4,
};

constexpr int32_t TASK_COUNT = 5;

// Everything that differs between the tasks.
struct TaskRow {
    const char* label;      // entry of the task list
    const char* keyword;    // first command-line parameter that selects the task
    const char* warnPrefix; // banner sentence before the minute number
    const char* warnSuffix; // banner sentence after the minute number
    const char* tool;       // file name of the system tool in the system directory
    const char* arguments;  // the tool's switches, passed apart from its path
};

// The sentences and commands are kept in one place so the list, the command line, the banner
// and the final action can never disagree about a task.
constexpr std::array<TaskRow, TASK_COUNT> kTasks = {{
    {"Computer herunterfahren", "end", "Hinweis: Der Computer wird in ", " Minute(n) heruntergefahren",
     "shutdown.exe", "-s -f"},
    {"Computer neu starten", "restart", "Hinweis: Der Computer wird in ", " Minute(n) neu gestartet",
     "shutdown.exe", "-r -f"},
    {"Computer in den Ruhezustand/Standby versetzen", "standby", "Hinweis: Der Computer wird in ",
     " Minute(n) in den Standby/Ruhezustand versetzt", "rundll32.exe", "PowrProf.dll,SetSuspendState"},
    {"Benutzer wechseln", "change-user", "Hinweis: Der Benutzer wird in ", " Minute(n) gewechselt",
     "rundll32.exe", "user32.dll,LockWorkStation"},
    {"Benutzer abmelden", "end-user", "Hinweis: Der Benutzer wird in ", " Minute(n) abgemeldet",
     "shutdown.exe", "-l -f"},
}};

// ---- Public functions ----

// Row of a task, or null for a value outside 0 to 4.
const TaskRow* Task_Row(int32_t kind);

// Task whose keyword equals text exactly (case-sensitive), or -1.
int32_t Task_FromKeyword(const char* text);

// The end of a countdown that ran out: five rising tones, the selected task's tool, then
// ProgramEnd. Runs on the countdown thread and never returns; a cancelled countdown leaves
// before the tones and before the tool is started.
[[noreturn]] void FinalAction();
