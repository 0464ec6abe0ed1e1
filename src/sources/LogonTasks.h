#pragma once
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/model/StartupEntry.h"

struct ITaskScheduler;

// Creates the Task Scheduler object; production uses CoCreateInstance, tests
// hand in their own.
using TaskSchedulerFactory = std::function<HRESULT(ITaskScheduler**)>;

// The tasks whose first trigger starts them at user logon, as entries in the
// order found (each goes in front of the list). Read, never changed. The
// calling thread has initialised COM.
std::vector<StartupEntry> ReadLogonTasks(const TaskSchedulerFactory& factory);

// A wide text in the process's code page; none when it cannot be converted.
std::optional<std::string> WideToAnsi(const wchar_t* text);
