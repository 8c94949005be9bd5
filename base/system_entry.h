// Entry points of modules the process has already loaded, for functions that
// older Windows versions lack. Nothing is loaded here: a module that is not
// in the process yields null. An entry point of a loaded module is looked up
// once; later calls answer from that lookup. Defined in a file of its own so
// that tests can link a replacement that records the calls made through what
// it returns.
#ifndef BASE_SYSTEM_ENTRY_H
#define BASE_SYSTEM_ENTRY_H

// The address of `name` in the loaded `module`, or null when the module is
// not loaded or has no such entry.
void *LookupSystemEntry(const char *module, const char *name);

#endif
