// The entries of the server's database library (db.dll) that this program calls,
// as the library exports them (C linkage, looked up by name). Records are the
// raw, unscrambled layouts of the file storage: 96-byte domain list entries,
// 1169-byte domain records and 2848-byte account records. Names are NUL-ended
// 8-bit texts; domain names arrive in lower case. A result of type int that
// reports success is non-zero on success.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// The number of domains the database holds.
typedef int DBGetDomainCountFunc(void);
// Fills up to capacity 96-byte list entries in order; the number filled.
typedef int DBGetDomainsFunc(void* entries, int capacity);
typedef int DBAddDomainFunc(const char* name);
// Fills the 1169-byte record of the domain; success.
typedef int DBGetDomainFunc(const char* name, void* record);
typedef int DBSetDomainFunc(const char* name, const void* record);
// The domain's bind addresses ("" for none).
typedef int DBSetDomainIPFunc(const char* name, const char* addresses);
// Moves the named domain to the head of the list.
typedef int DBMakeDomainPrimaryFunc(const char* name);
// The number of accounts of a domain; an empty name counts every domain.
typedef int DBGetTotalUsersFunc(const char* domain);
// Fills the 2848-byte record at the index when there is one; returns the
// domain's number of accounts.
typedef int DBGetUsersFunc(const char* domain, void* record, int index);
// The index of the first account whose alias list shares an entry with the
// given list (without regard to case), or -1.
typedef int DBGetUsersIndexFunc(const char* domain, const char* alias);
// Starts an iteration over a domain's accounts after skipping `skip` of them;
// the filter is a wildcard mask on the aliases, used when filterFlag is
// non-zero. Returns the iteration's handle, or none when the domain has none.
typedef void* DBInitUsersFunc(const char* domain, const char* filter, int filterFlag, int skip);
// Fills the next record and its index; zero at the end.
typedef int DBNextUserFunc(void* iteration, void* record, int* index);
typedef void DBDoneUsersFunc(void* iteration);
// Stores the record at *index, or appends it when *index is -1 or the number
// of accounts; *index is then the index used. Success.
typedef int DBSaveUsersFunc(const char* domain, const void* record, int* index);
// Closes the connection; the library is unloaded next.
typedef void DBDoneConnectionFunc(void);

#ifdef __cplusplus
}
#endif
