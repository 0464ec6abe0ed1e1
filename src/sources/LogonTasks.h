#pragma once
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "entry/EntryList.h"

struct ITaskScheduler;

// Creates the Task Scheduler object; production uses CoCreateInstance, tests
// hand in their own.
using TaskSchedulerFactory = std::function<HRESULT(ITaskScheduler**)>;

// The tasks whose first trigger starts them at user logon, each put in front
// of the list as found. Read, never changed. The calling thread has
// initialised COM.
EntryList ReadLogonTasks(const TaskSchedulerFactory& factory);

// A wide text in UTF-8; none when it cannot be converted exactly.
std::optional<std::string> WideToAnsi(const wchar_t* text);

// Asks the Task Scheduler to run the task of this name now, with its own
// program, arguments, account and folder. False, after a line, when it cannot.
// The calling thread has initialised COM.
bool RunLogonTask(const TaskSchedulerFactory& factory, const std::wstring& name);
