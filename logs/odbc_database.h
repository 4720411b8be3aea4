// Access to an ODBC database through the system's ODBC driver manager, which
// is loaded at run time so that the exchange runs (without the database log)
// where none is installed.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "logs/sql_template.h"

struct LODBCFunctions;

// The driver manager library and its resolved functions.
class LODBCLibrary
{
  public:
    // Tried in order: the development name, then the versioned name that
    // the runtime package installs on its own.
    static const char *const kDefaultNames[];

    // names: null-terminated list of library names to try in order.
    explicit LODBCLibrary(const char *const *names = kDefaultNames);
    ~LODBCLibrary();
    LODBCLibrary(const LODBCLibrary &) = delete;
    LODBCLibrary &operator=(const LODBCLibrary &) = delete;

    // The process-wide library, loaded at first use and kept loaded.
    static const LODBCLibrary &Shared();

    // True when a library was loaded and every function was found.
    bool IsLoaded() const { return functions != nullptr; }
    // The name that loaded ("" when none did).
    const char *GetLoadedName() const { return loaded_name.c_str(); }
    const LODBCFunctions *GetFunctions() const { return functions; }

  private:
    void *handle = nullptr;
    LODBCFunctions *functions = nullptr;
    std::string loaded_name;
};

// One connection, opened by the constructor and closed by the destructor.
class LODBCDatabase
{
  public:
    static constexpr size_t kDiagnosticMax = 259;

    LODBCDatabase(const char *dsn, const char *user, const char *password);
    LODBCDatabase(const LODBCLibrary &library, const char *dsn, const char *user,
                  const char *password);
    ~LODBCDatabase();
    LODBCDatabase(const LODBCDatabase &) = delete;
    LODBCDatabase &operator=(const LODBCDatabase &) = delete;

    bool IsOpen() const { return connected; }
    // Executes the statement directly; true on success or success with
    // information. On failure the driver's diagnostic is kept.
    bool SQLCommand(const char *sql);
    // Prepares the statement, binds each parameter to its "?" in order
    // (SQLBindParameter: text as VARCHAR, numbers as INTEGER) and executes
    // it, so no value is ever read as SQL.
    bool SQLCommand(const char *sql, const std::vector<LSqlParameter> &parameters);
    // The last diagnostic text (at most kDiagnosticMax characters).
    const char *GetError() const { return error; }

  private:
    void Open(const char *dsn, const char *user, const char *password);
    void KeepDiagnostic(short handleType, void *handle);
    void Close();

    const LODBCFunctions *api = nullptr;
    void *env = nullptr;
    void *dbc = nullptr;
    bool connected = false;
    char error[kDiagnosticMax + 1] = {};
};
