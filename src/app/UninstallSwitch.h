#pragma once
#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>

// Starts the Windows Installer from the record it is given; true when started.
using InstallerLauncher = std::function<bool(SHELLEXECUTEINFOW*)>;
// The product code of the installed package ("{...}"), empty when none is.
using ProductFinder = std::function<std::wstring()>;

// Found by the upgrade code that every version of the package shares.
std::wstring InstalledProductCode();

// The first step of start-up: with "-UNINSTALL" as an argument of the process
// (after the program's path, exactly, in capitals), puts this account's
// taken-over entries back into its Run key (and, where no keeper service is
// installed, the machine's, as far as its rights go) and starts the system
// folder's msiexec.exe on the installed package (when none is installed, says
// so), whose removal puts the machine's back as the system; or, while another
// instance runs, only asks the user to close it. True when the switch was
// present (start-up then stops), false otherwise.
bool HandleUninstallSwitch();
// The same on a given command line, starting the installer through the launcher.
bool HandleUninstallSwitch(const wchar_t* commandLine, const InstallerLauncher& launch,
                           const ProductFinder& findProduct);
