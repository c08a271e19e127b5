/* The miniature J2534 application's parts: the 04.04 records and entry points it calls, the
 * calls that print what they got, and the session. */
#ifndef TARNIX_J2534_DRIVER_H
#define TARNIX_J2534_DRIVER_H

#include <stdint.h>
#include <stdio.h>

#if defined(_WIN32) && !defined(_WIN64)
#define API __stdcall
#else
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

typedef struct {
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
} Api;

extern Api pt;    /* the library's entry points */
extern FILE* out; /* where the session is printed */

enum { kCan = 5, kIso15765 = 6, kIso9141 = 3, kIso14230 = 4, kJ1850Pwm = 2 };

/* Each call prints its status and outputs (handles as <handle N>, times left out). */
int32_t Said(const char* call, int32_t status);
void PrintMsgs(const Msg* msgs, uint32_t count);
Msg Make(uint32_t protocol, uint32_t tx_flags, const char* hex);
void Write(uint32_t channel, Msg msg);
void Read(uint32_t channel, uint32_t room, uint32_t timeout);
uint32_t Filter(uint32_t channel, uint32_t type, Msg mask, Msg pattern, const Msg* flow);
uint32_t Connect(uint32_t device, uint32_t protocol, uint32_t flags, uint32_t baud);
void Config2(uint32_t channel, uint32_t ioctl, Config* entries, uint32_t count);
void Voltage(uint32_t handle, uint32_t ioctl);

/* The fixed session on the open device: its voltages and versions, buses, periodic messages,
 * K-Line. */
void Session(uint32_t device);

#endif
