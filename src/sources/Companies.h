#pragma once
#include <string>

#include "entry/EntryList.h"
#include "sources/FileVersionInfo.h"

// The file path a command line names, as the version lookup takes it: cut after
// the first ".exe" in any letter case (a leading quote dropped), or its first
// token with ".exe" appended (and %systemroot% replaced) when it has none.
std::string ProgramPathFromCommand(const std::string& command);

// The company an entry shows for a command line: that of the program it names,
// or "Unknown". A fully qualified program file is read again only when it has
// changed, since every take-over rebuilds the whole list. Safe on any thread.
std::string CompanyOfCommand(const std::wstring& command, CFileVersionInfo& versionInfo);

// The company of a Startup folder item's file: that of a shortcut's target
// (read within the shortcut's own lengths, never resolved or searched for), of
// an .exe itself, else "Unknown".
std::string CompanyOfItem(const std::wstring& item, CFileVersionInfo& versionInfo);

// Sets the company of one entry from its item (a Startup folder's file) or its
// command, and for a shortcut what it opens (StartupEntry::opens).
void FillCompany(StartupEntry& entry, CFileVersionInfo& versionInfo);
