#include "logs/odbc_database.h"

#include "platform/log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>

// The few ODBC 3 entry points used, declared here with the driver manager's
// 64-bit Linux types so that the product needs no ODBC headers to build.
using SQLRETURN = short;
using SQLSMALLINT = short;
using SQLINTEGER = int;
using SQLHANDLE = void *;
using SQLLEN = long;
using SQLULEN = unsigned long;

struct LODBCFunctions {
    SQLRETURN (*AllocHandle)(SQLSMALLINT, SQLHANDLE, SQLHANDLE *);
    SQLRETURN (*SetEnvAttr)(SQLHANDLE, SQLINTEGER, void *, SQLINTEGER);
    SQLRETURN(*Connect)
    (SQLHANDLE, const unsigned char *, SQLSMALLINT, const unsigned char *, SQLSMALLINT,
     const unsigned char *, SQLSMALLINT);
    SQLRETURN (*ExecDirect)(SQLHANDLE, const unsigned char *, SQLINTEGER);
    SQLRETURN(*GetDiagRec)
    (SQLSMALLINT, SQLHANDLE, SQLSMALLINT, unsigned char *, SQLINTEGER *, unsigned char *,
     SQLSMALLINT, SQLSMALLINT *);
    SQLRETURN (*Disconnect)(SQLHANDLE);
    SQLRETURN (*FreeHandle)(SQLSMALLINT, SQLHANDLE);
    SQLRETURN (*Prepare)(SQLHANDLE, const unsigned char *, SQLINTEGER);
    SQLRETURN(*BindParameter)
    (SQLHANDLE, unsigned short, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLULEN, SQLSMALLINT, void *,
     SQLLEN, SQLLEN *);
    SQLRETURN (*Execute)(SQLHANDLE);
};

namespace
{
constexpr SQLSMALLINT kHandleEnv = 1;
constexpr SQLSMALLINT kHandleDbc = 2;
constexpr SQLSMALLINT kHandleStmt = 3;
constexpr SQLINTEGER kAttrOdbcVersion = 200;
constexpr long kOdbcVersion3 = 3;
constexpr SQLSMALLINT kNullTerminated = -3;
constexpr SQLSMALLINT kParamInput = 1;
constexpr SQLSMALLINT kCChar = 1, kCSignedLong = -16; // SQL_C_CHAR, SQL_C_SLONG
constexpr SQLSMALLINT kSqlVarchar = 12, kSqlInteger = 4;

bool Succeeded(SQLRETURN result)
{
    return result == 0 || result == 1; // SQL_SUCCESS, SQL_SUCCESS_WITH_INFO
}

template <typename F> bool Resolve(void *handle, const char *name, F &out)
{
    out = reinterpret_cast<F>(dlsym(handle, name));
    return out != nullptr;
}

bool ResolveAll(void *handle, LODBCFunctions &f)
{
    return Resolve(handle, "SQLAllocHandle", f.AllocHandle) &&
           Resolve(handle, "SQLSetEnvAttr", f.SetEnvAttr) &&
           Resolve(handle, "SQLConnect", f.Connect) &&
           Resolve(handle, "SQLExecDirect", f.ExecDirect) &&
           Resolve(handle, "SQLGetDiagRec", f.GetDiagRec) &&
           Resolve(handle, "SQLDisconnect", f.Disconnect) &&
           Resolve(handle, "SQLFreeHandle", f.FreeHandle) &&
           Resolve(handle, "SQLPrepare", f.Prepare) &&
           Resolve(handle, "SQLBindParameter", f.BindParameter) &&
           Resolve(handle, "SQLExecute", f.Execute);
}

const unsigned char *Text(const char *text)
{
    return reinterpret_cast<const unsigned char *>(text ? text : "");
}
} // namespace

const char *const LODBCLibrary::kDefaultNames[] = {"libodbc.so", "libodbc.so.2", nullptr};

LODBCLibrary::LODBCLibrary(const char *const *names)
{
    for (; names && *names && !handle; names++) {
        handle = dlopen(*names, RTLD_NOW | RTLD_LOCAL);
        if (handle)
            loaded_name = *names;
    }
    if (!handle) {
        LOGERROR("ODBC driver manager library not found");
        return;
    }
    LODBCFunctions resolved{};
    if (!ResolveAll(handle, resolved)) {
        LOGERRORTEXT("ODBC driver manager lacks a function: ", loaded_name.c_str());
        return;
    }
    functions = new LODBCFunctions(resolved);
}

LODBCLibrary::~LODBCLibrary()
{
    // The library stays mapped: the driver manager keeps caches and driver
    // handles in its globals that must not vanish under their owners.
    delete functions;
}

const LODBCLibrary &LODBCLibrary::Shared()
{
    // Kept for the process's lifetime: drivers may leave threads or atexit
    // handlers behind that must not outlive their code.
    static LODBCLibrary *library = new LODBCLibrary();
    return *library;
}

LODBCDatabase::LODBCDatabase(const char *dsn, const char *user, const char *password)
    : LODBCDatabase(LODBCLibrary::Shared(), dsn, user, password)
{
}

LODBCDatabase::LODBCDatabase(const LODBCLibrary &library, const char *dsn, const char *user,
                             const char *password)
    : api(library.GetFunctions())
{
    if (!api) {
        std::snprintf(error, sizeof error, "ODBC driver manager not available");
        return;
    }
    Open(dsn, user, password);
}

LODBCDatabase::~LODBCDatabase()
{
    Close();
}

void LODBCDatabase::Open(const char *dsn, const char *user, const char *password)
{
    if (!Succeeded(api->AllocHandle(kHandleEnv, nullptr, &env))) {
        env = nullptr;
        std::snprintf(error, sizeof error, "ODBC environment not allocated");
        return;
    }
    api->SetEnvAttr(env, kAttrOdbcVersion, reinterpret_cast<void *>(kOdbcVersion3), 0);
    if (!Succeeded(api->AllocHandle(kHandleDbc, env, &dbc))) {
        dbc = nullptr;
        KeepDiagnostic(kHandleEnv, env);
        return;
    }
    SQLRETURN result = api->Connect(dbc, Text(dsn), kNullTerminated, Text(user), kNullTerminated,
                                    Text(password), kNullTerminated);
    connected = Succeeded(result);
    if (!connected)
        KeepDiagnostic(kHandleDbc, dbc);
}

void LODBCDatabase::KeepDiagnostic(short handleType, void *handle)
{
    unsigned char state[8] = {};
    unsigned char message[kDiagnosticMax + 1] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLRETURN result = api->GetDiagRec(handleType, handle, 1, state, &native, message,
                                       static_cast<SQLSMALLINT>(sizeof message), &length);
    if (Succeeded(result))
        std::snprintf(error, sizeof error, "%s", reinterpret_cast<const char *>(message));
    else
        std::snprintf(error, sizeof error, "ODBC error without diagnostic");
}

bool LODBCDatabase::SQLCommand(const char *sql)
{
    if (!connected)
        return false;
    SQLHANDLE stmt = nullptr;
    if (!Succeeded(api->AllocHandle(kHandleStmt, dbc, &stmt))) {
        KeepDiagnostic(kHandleDbc, dbc);
        return false;
    }
    bool ok = Succeeded(api->ExecDirect(stmt, Text(sql), kNullTerminated));
    if (!ok)
        KeepDiagnostic(kHandleStmt, stmt);
    api->FreeHandle(kHandleStmt, stmt);
    return ok;
}

bool LODBCDatabase::SQLCommand(const char *sql, const std::vector<LSqlParameter> &parameters)
{
    if (!connected)
        return false;
    SQLHANDLE stmt = nullptr;
    if (!Succeeded(api->AllocHandle(kHandleStmt, dbc, &stmt))) {
        KeepDiagnostic(kHandleDbc, dbc);
        return false;
    }
    // The buffers must stay put until the statement has run.
    std::vector<long> numbers(parameters.size());
    std::vector<SQLLEN> lengths(parameters.size(), kNullTerminated);
    bool ok = Succeeded(api->Prepare(stmt, Text(sql), kNullTerminated));
    for (size_t i = 0; ok && i < parameters.size(); i++) {
        const LSqlParameter &p = parameters[i];
        unsigned short number = static_cast<unsigned short>(i + 1);
        if (p.number) {
            numbers[i] = std::strtol(p.value.c_str(), nullptr, 10);
            lengths[i] = 0;
            ok = Succeeded(api->BindParameter(stmt, number, kParamInput, kCSignedLong, kSqlInteger,
                                              0, 0, &numbers[i], 0, &lengths[i]));
        } else
            ok = Succeeded(
                api->BindParameter(stmt, number, kParamInput, kCChar, kSqlVarchar,
                                   p.value.size() + 1, 0, const_cast<char *>(p.value.c_str()),
                                   static_cast<SQLLEN>(p.value.size() + 1), &lengths[i]));
    }
    ok = ok && Succeeded(api->Execute(stmt));
    if (!ok)
        KeepDiagnostic(kHandleStmt, stmt);
    api->FreeHandle(kHandleStmt, stmt);
    return ok;
}

void LODBCDatabase::Close()
{
    if (connected)
        api->Disconnect(dbc);
    connected = false;
    if (dbc)
        api->FreeHandle(kHandleDbc, dbc);
    if (env)
        api->FreeHandle(kHandleEnv, env);
    dbc = env = nullptr;
}
