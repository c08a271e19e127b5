/* A J2534 application in miniature: loads a 04.04 library by path, runs one fixed session
 * (device, CAN and ISO 15765 channels, filters, writes, reads with time-outs, periodic messages,
 * ioctls, K-Line initialisations, failures) and prints every call's status and outputs, times
 * left out. Run against a vendor library and against a library that forwards to it, the two
 * outputs must match. Usage: j2534_driver <library> <output file> [--unload-open]
 * With --unload-open the session is only an open device and channel, and the library is unloaded
 * without closing them, as a careless application does.
 * Exit: 0 when the session ran, 2 when the library or the output file is unusable. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#if defined(_WIN32)
#include <windows.h>
#define API __stdcall
#else
#include <dlfcn.h>
#define API
#endif

typedef struct {
  uint32_t ProtocolID, RxStatus, TxFlags, Timestamp, DataSize, ExtraDataIndex;
  uint8_t Data[4128];
} Msg;
typedef struct {
  uint32_t Parameter, Value;
} Config;
typedef struct {
  uint32_t NumOfParams;
  Config* ConfigPtr;
} ConfigList;
typedef struct {
  uint32_t NumOfBytes;
  uint8_t* BytePtr;
} ByteArray;

typedef int32_t(API* OpenFn)(const void*, uint32_t*);
typedef int32_t(API* IdFn)(uint32_t);
typedef int32_t(API* ConnectFn)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t*);
typedef int32_t(API* ReadWriteFn)(uint32_t, Msg*, uint32_t*, uint32_t);
typedef int32_t(API* StartPeriodicFn)(uint32_t, const Msg*, uint32_t*, uint32_t);
typedef int32_t(API* StopFn)(uint32_t, uint32_t);
typedef int32_t(API* StartFilterFn)(uint32_t, uint32_t, const Msg*, const Msg*, const Msg*,
                                    uint32_t*);
typedef int32_t(API* VoltageFn)(uint32_t, uint32_t, uint32_t);
typedef int32_t(API* VersionFn)(uint32_t, char*, char*, char*);
typedef int32_t(API* LastErrorFn)(char*);
typedef int32_t(API* IoctlFn)(uint32_t, uint32_t, void*, void*);

static struct {
  OpenFn Open;
  IdFn Close, Disconnect;
  ConnectFn Connect;
  ReadWriteFn ReadMsgs, WriteMsgs;
  StartPeriodicFn StartPeriodicMsg;
  StopFn StopPeriodicMsg, StopMsgFilter;
  StartFilterFn StartMsgFilter;
  VoltageFn SetProgrammingVoltage;
  VersionFn ReadVersion;
  LastErrorFn GetLastError;
  IoctlFn Ioctl;
} pt;

static FILE* out; /* where the session is printed */

enum { kCan = 5, kIso15765 = 6, kIso9141 = 3, kIso14230 = 4, kJ1850Pwm = 2 };

/* Prints a call's status; after a failure also what GetLastError says of it. */
static int32_t Said(const char* call, int32_t status) {
  char text[80];
  fprintf(out, "%s -> %d\n", call, (int)status);
  if (status != 0 && status != 9 && status != 16) {
    memset(text, 0, sizeof text);
    fprintf(out, "  GetLastError -> %d \"%s\"\n", (int)pt.GetLastError(text), text);
  }
  return status;
}

static void PrintMsgs(const Msg* msgs, uint32_t count) {
  uint32_t i, b;
  for (i = 0; i < count; ++i) {
    fprintf(out, "  msg protocol=%u rx=0x%X tx=0x%X size=%u extra=%u data=",
            (unsigned)msgs[i].ProtocolID, (unsigned)msgs[i].RxStatus, (unsigned)msgs[i].TxFlags,
            (unsigned)msgs[i].DataSize, (unsigned)msgs[i].ExtraDataIndex);
    for (b = 0; b < msgs[i].DataSize && b < sizeof msgs[i].Data; ++b)
      fprintf(out, "%02X", msgs[i].Data[b]);
    fprintf(out, "\n");
  }
}

static Msg Make(uint32_t protocol, uint32_t tx_flags, const char* hex) {
  Msg msg;
  memset(&msg, 0, sizeof msg);
  msg.ProtocolID = protocol;
  msg.TxFlags = tx_flags;
  while (hex[0] && hex[1]) {
    unsigned byte = 0;
    sscanf(hex, "%2x", &byte);
    msg.Data[msg.DataSize++] = (uint8_t)byte;
    hex += 2;
  }
  return msg;
}

static void Write(uint32_t channel, Msg msg) {
  uint32_t count = 1;
  Said("WriteMsgs", pt.WriteMsgs(channel, &msg, &count, 100));
  fprintf(out, "  sent %u\n", (unsigned)count);
}

static void Read(uint32_t channel, uint32_t room, uint32_t timeout) {
  static Msg msgs[8];
  uint32_t count = room;
  memset(msgs, 0xEE, sizeof msgs);
  Said("ReadMsgs", pt.ReadMsgs(channel, msgs, &count, timeout));
  fprintf(out, "  read %u\n", (unsigned)count);
  PrintMsgs(msgs, count);
}

static uint32_t Filter(uint32_t channel, uint32_t type, Msg mask, Msg pattern, const Msg* flow) {
  uint32_t id = 0;
  if (Said("StartMsgFilter", pt.StartMsgFilter(channel, type, &mask, &pattern, flow, &id)) == 0)
    fprintf(out, "  filter <handle %u>\n", (unsigned)id);
  return id;
}

static uint32_t Connect(uint32_t device, uint32_t protocol, uint32_t flags, uint32_t baud) {
  uint32_t channel = 0;
  if (Said("Connect", pt.Connect(device, protocol, flags, baud, &channel)) == 0)
    fprintf(out, "  channel <handle %u>\n", (unsigned)channel);
  return channel;
}

static void Config2(uint32_t channel, uint32_t ioctl, Config* entries, uint32_t count) {
  ConfigList list;
  uint32_t i;
  list.NumOfParams = count;
  list.ConfigPtr = entries;
  Said(ioctl == 1 ? "Ioctl GET_CONFIG" : "Ioctl SET_CONFIG", pt.Ioctl(channel, ioctl, &list, NULL));
  for (i = 0; i < count; ++i)
    fprintf(out, "  %u = %u\n", (unsigned)entries[i].Parameter, (unsigned)entries[i].Value);
}

static void Voltage(uint32_t handle, uint32_t ioctl) {
  uint32_t millivolts = 0xDEAD;
  Said(ioctl == 3 ? "Ioctl READ_VBATT" : "Ioctl READ_PROG_VOLTAGE",
       pt.Ioctl(handle, ioctl, NULL, &millivolts));
  fprintf(out, "  %u mV\n", (unsigned)millivolts);
}

/* ISO 15765 and CAN on one device: requests answered by the simulated ECU, the echo of a frame
 * with loopback on, configuration, and reads that find nothing. */
static void Buses(uint32_t device) {
  uint32_t iso = Connect(device, kIso15765, 0, 500000);
  uint32_t can = Connect(device, kCan, 0, 500000);
  Msg flow = Make(kIso15765, 0, "000007E0");
  Config rates[2] = {{1, 0}, {3, 0}};
  Config loopback_on = {3, 1}, loopback_off = {3, 0};
  Connect(device, 99, 0, 500000);
  Filter(iso, 3, Make(kIso15765, 0, "FFFFFFFF"), Make(kIso15765, 0, "000007E8"), &flow);
  Filter(can, 1, Make(kCan, 0, "00000000"), Make(kCan, 0, "00000000"), NULL);
  Write(iso, Make(kIso15765, 0, "000007DF010C"));
  Read(iso, 8, 200);
  Write(iso, Make(kIso15765, 0, "000007DF0902"));
  Read(iso, 8, 200);
  Read(iso, 8, 30);
  Write(can, Make(kCan, 0, "000007DF02010D0000000000"));
  Read(can, 4, 200);
  Config2(can, 2, &loopback_on, 1);
  Config2(can, 1, rates, 2);
  Write(can, Make(kCan, 0, "000007DF0201050000000000"));
  Read(can, 4, 200);
  Config2(can, 2, &loopback_off, 1);
  Read(can, 4, 0);
  Voltage(can, 3);
  Said("Ioctl CLEAR_RX_BUFFER", pt.Ioctl(can, 8, NULL, NULL));
  Said("Ioctl CLEAR_TX_BUFFER", pt.Ioctl(can, 7, NULL, NULL));
  Said("Ioctl CLEAR_MSG_FILTERS", pt.Ioctl(can, 10, NULL, NULL));
  Said("Ioctl 0x7777", pt.Ioctl(can, 0x7777, NULL, NULL));
  Said("StopMsgFilter", pt.StopMsgFilter(can, 99));
  Write(can, Make(kIso15765, 0, "000007DF0201050000000000"));
  Said("Disconnect", pt.Disconnect(iso));
  Said("Disconnect", pt.Disconnect(can));
}

/* Periodic messages: one started and stopped, one refused, one cleared with the others. */
static void Periodic(uint32_t device) {
  uint32_t can = Connect(device, kCan, 0, 500000);
  Msg keep_alive = Make(kCan, 0, "000007DF023E800000000000");
  uint32_t id = 0;
  if (Said("StartPeriodicMsg", pt.StartPeriodicMsg(can, &keep_alive, &id, 100)) == 0)
    fprintf(out, "  periodic <handle %u>\n", (unsigned)id);
  Said("StopPeriodicMsg", pt.StopPeriodicMsg(can, id));
  Said("StartPeriodicMsg", pt.StartPeriodicMsg(can, &keep_alive, &id, 1));
  Said("StartPeriodicMsg", pt.StartPeriodicMsg(can, &keep_alive, &id, 2000));
  Said("Ioctl CLEAR_PERIODIC_MSGS", pt.Ioctl(can, 9, NULL, NULL));
  Said("StopPeriodicMsg", pt.StopPeriodicMsg(can, id));
  Said("Disconnect", pt.Disconnect(can));
}

/* K-Line: a fast and a 5-baud initialisation, and an ioctl the adapter does not offer. */
static void KLine(uint32_t device) {
  uint32_t k = Connect(device, kIso14230, 0, 10400);
  Msg request = Make(kIso14230, 0, "C133F18166"), response;
  uint8_t address = 0x33, keywords[8] = {0}, table = 0x6A;
  ByteArray in = {1, &address}, room = {sizeof keywords, keywords}, entries = {1, &table};
  uint32_t i, pwm;
  Filter(k, 1, Make(kIso14230, 0, "00"), Make(kIso14230, 0, "00"), NULL);
  memset(&response, 0, sizeof response);
  Said("Ioctl FAST_INIT", pt.Ioctl(k, 5, &request, &response));
  PrintMsgs(&response, 1);
  Said("Disconnect", pt.Disconnect(k));
  k = Connect(device, kIso9141, 0, 10400);
  Filter(k, 1, Make(kIso9141, 0, "00"), Make(kIso9141, 0, "00"), NULL);
  Said("Ioctl FIVE_BAUD_INIT", pt.Ioctl(k, 4, &in, &room));
  fprintf(out, "  keywords %u:", (unsigned)room.NumOfBytes);
  for (i = 0; i < room.NumOfBytes; ++i)
    fprintf(out, " %02X", keywords[i]);
  fprintf(out, "\n");
  Read(k, 4, 200);
  Said("Disconnect", pt.Disconnect(k));
  pwm = Connect(device, kJ1850Pwm, 0, 41600);
  Said("Ioctl ADD_TO_FUNCT_MSG_LOOKUP_TABLE", pt.Ioctl(pwm, 12, &entries, NULL));
  Said("Disconnect", pt.Disconnect(pwm));
}

/* The device alone: versions, voltages, programming voltage. */
static void Device(uint32_t device) {
  char firmware[80], dll[80], api[80];
  if (Said("ReadVersion", pt.ReadVersion(device, firmware, dll, api)) == 0)
    fprintf(out, "  %s | %s | %s\n", firmware, dll, api);
  Voltage(device, 3);
  Said("SetProgrammingVoltage", pt.SetProgrammingVoltage(device, 12, 18000));
  Voltage(device, 14);
  Said("SetProgrammingVoltage", pt.SetProgrammingVoltage(device, 12, 0xFFFFFFFF));
  Said("SetProgrammingVoltage", pt.SetProgrammingVoltage(device, 2, 18000));
}

static void* Find(void* library, const char* name) {
#if defined(_WIN32)
  return (void*)GetProcAddress((HMODULE)library, name);
#else
  return dlsym(library, name);
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
  {                                                  \
    void* address = Find(library, "PassThru" #name); \
    memcpy(&pt.name, &address, sizeof address);      \
  }
  BIND(Open)
  BIND(Close)
  BIND(Connect) BIND(Disconnect) BIND(ReadMsgs) BIND(WriteMsgs) BIND(StartPeriodicMsg)
      BIND(StopPeriodicMsg) BIND(StartMsgFilter) BIND(StopMsgFilter) BIND(SetProgrammingVoltage)
          BIND(ReadVersion) BIND(GetLastError)
              BIND(Ioctl) if (!pt.Open || !pt.Close || !pt.Connect || !pt.Disconnect ||
                              !pt.ReadMsgs || !pt.WriteMsgs || !pt.StartPeriodicMsg ||
                              !pt.StopPeriodicMsg || !pt.StartMsgFilter || !pt.StopMsgFilter ||
                              !pt.SetProgrammingVoltage || !pt.ReadVersion || !pt.GetLastError ||
                              !pt.Ioctl) {
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
  Device(device);
  Buses(device);
  Periodic(device);
  KLine(device);
  Said("Close", pt.Close(device));
  fclose(out);
  return 0;
}
