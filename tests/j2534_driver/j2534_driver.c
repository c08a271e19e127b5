/* A J2534 application in miniature: loads a 04.04 library by path, runs one fixed session
 * (device, CAN and ISO 15765 channels, filters, writes, reads with time-outs, periodic messages,
 * ioctls, K-Line initialisations, failures) and prints every call's status and outputs, times
 * left out. Run against a vendor library and against a library that forwards to it, the two
 * outputs must match. Usage: j2534_driver <library> <output file> [--unload-open]
 * With --unload-open the session is only an open device and channel, and the library is unloaded
 * without closing them, as a careless application does.
 * Exit: 0 when the session ran, 2 when the library or the output file is unusable. */
#include <string.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "j2534_driver.h"

/* Any entry point, until it is stored with its own type. */
typedef void (*AnyFn)(void);

static AnyFn Find(void* library, const char* name) {
#if defined(_WIN32)
  return (AnyFn)GetProcAddress((HMODULE)library, name);
#else
  /* ISO C has no conversion from an object pointer to a function pointer: copy the bits. */
  void* address = dlsym(library, name);
  AnyFn fn;
  memcpy(&fn, &address, sizeof fn);
  return fn;
#endif
}

int main(int argc, char** argv) {
  void* library;
  uint32_t device = 0;
  if (argc < 3 || argc > 4 || (argc == 4 && strcmp(argv[3], "--unload-open") != 0) ||
      (out = fopen(argv[2], "w")) == NULL) {
    fprintf(stderr, "usage: j2534_driver <library> <output file> [--unload-open]\n");
    return 2;
  }
#if defined(_WIN32)
  {
    wchar_t path[1024];
    MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, path, 1024);
    library = (void*)LoadLibraryW(path);
  }
#else
  library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
#endif
  if (library == NULL) {
    fprintf(stderr, "j2534_driver: cannot load %s\n", argv[1]);
    return 2;
  }
#define BIND(name)                                   \
  do {                                               \
    AnyFn address = Find(library, "PassThru" #name); \
    memcpy(&pt.name, &address, sizeof address);      \
  } while (0)
  BIND(Open);
  BIND(Close);
  BIND(Connect);
  BIND(Disconnect);
  BIND(ReadMsgs);
  BIND(WriteMsgs);
  BIND(StartPeriodicMsg);
  BIND(StopPeriodicMsg);
  BIND(StartMsgFilter);
  BIND(StopMsgFilter);
  BIND(SetProgrammingVoltage);
  BIND(ReadVersion);
  BIND(GetLastError);
  BIND(Ioctl);
#undef BIND
  if (!pt.Open || !pt.Close || !pt.Connect || !pt.Disconnect || !pt.ReadMsgs || !pt.WriteMsgs ||
      !pt.StartPeriodicMsg || !pt.StopPeriodicMsg || !pt.StartMsgFilter || !pt.StopMsgFilter ||
      !pt.SetProgrammingVoltage || !pt.ReadVersion || !pt.GetLastError || !pt.Ioctl) {
    fprintf(stderr, "j2534_driver: %s lacks a 04.04 entry point\n", argv[1]);
    return 2;
  }
  if (Said("Open", pt.Open(NULL, &device)) != 0) return fclose(out), 0;
  fprintf(out, "  device <handle %u>\n", (unsigned)device);
  if (argc == 4) {
    Connect(device, kCan, 0, 500000);
#if defined(_WIN32)
    FreeLibrary((HMODULE)library);
#else
    dlclose(library);
#endif
    return fclose(out), 0;
  }
  Session(device);
  Said("Close", pt.Close(device));
  fclose(out);
  return 0;
}
