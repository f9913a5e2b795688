// The plug-in's access to its environment: field values of host tables by
// name, the project and procedure folders and databases, an object's
// identifier, the settings in the registry and in the host's ini files, the
// current user, and external programs. Texts are UTF-8 here; the host façade
// (HostApi) converts what crosses to the host.
//
// None of these procedures reports to the user: a host call that fails gives
// the default (empty text, -1, false).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Tools {

std::string MyGetValueByName(std::string_view table, std::string_view field);
int32_t MyGetIntValueByName(std::string_view table, std::string_view field);
// The host's answer; value is set only when the text is an integer, and the
// answer is false when it is not.
bool MyGetIntValueByNameEx(std::string_view table, std::string_view field, int32_t& value);
bool MySetValueByName(std::string_view table, std::string_view field, std::string_view text);

// Folders end with the path delimiter; databases are returned as the host
// gives them.
std::string MyGetProjectDir();
std::string MyGetVerfahrenDir();
std::string MyGetProjectDB();
std::string MyGetVerfahrenDB();

std::string MyGetKennungOfID(int32_t id);

// Registry values of the current user, by key, section (a subkey) and name.
int32_t GetRegIntEntry(std::string_view strKey, std::string_view strSection,
                       std::string_view strIdent, int32_t iDefault);
void SetRegIntEntry(std::string_view strKey, std::string_view strSection, std::string_view strIdent,
                    int32_t iValue);
std::string GetRegStringEntry(std::string_view strKey, std::string_view strSection,
                              std::string_view strIdent, std::string_view strDefault);
void SetRegStringEntry(std::string_view strKey, std::string_view strSection,
                       std::string_view strIdent, std::string_view strValue);

int32_t ReadIntFromApplicatIni(std::string_view strSection, std::string_view strParam,
                               int32_t iDefault);
std::string ReadStringFromApplicatIni(std::string_view strSection, std::string_view strParam,
                                      std::string_view strDefault);
std::string ReadStringFromProjectIni(std::string_view section, std::string_view key,
                                     std::string_view default_value);
void WriteStringToProjectIni(std::string_view section, std::string_view key, std::string_view text);
// The federal-state rule set, "NRW" unless applicat.ini names another.
std::string ReadBundesland();
// True when ReadBundesland equals one of the names exactly.
bool CheckBundesland(const std::vector<std::string>& names);

// Adds the names (without folder) of the entries of directory that match the
// mask (* and ?), in the order the system lists them.
void ReadDirectroyFiles(std::string_view directory, std::string_view mask,
                        std::vector<std::string>& list);

// Starts a program with its arguments, hidden, in the program's folder, and
// waits for its end; false when it could not be started.
bool ExecAndWait(const std::string& program, const std::vector<std::string>& arguments);
// Starts a program shown, without waiting.
void Exec(const std::string& program, const std::vector<std::string>& arguments);
std::string GetCurrentUserName();

// Appends the path delimiter unless the text already ends with it.
std::string WithBackslash(std::string_view text);
// Drops leading characters while too long, prepends fill while too short.
std::string FillLeft(std::string_view text, size_t width, char fill);
int32_t GetTNum(std::string_view text, char separator);
// The n-th part (from 1) between separators.
std::string GetToken(std::string_view text, char separator, int32_t n);
bool MyStrToBool(std::string_view text);

}  // namespace Tools
