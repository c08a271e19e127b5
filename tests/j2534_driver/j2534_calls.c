/* The miniature J2534 application's calls: each prints its status and outputs. */
#include <string.h>

#include "j2534_driver.h"

Api pt;
FILE* out;

/* Prints a call's status; after a failure also what GetLastError says of it. */
int32_t Said(const char* call, int32_t status) {
  char text[80];
  fprintf(out, "%s -> %d\n", call, (int)status);
  if (status != 0 && status != 9 && status != 16) {
    memset(text, 0, sizeof text);
    fprintf(out, "  GetLastError -> %d \"%s\"\n", (int)pt.GetLastError(text), text);
  }
  return status;
}

void PrintMsgs(const Msg* msgs, uint32_t count) {
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

Msg Make(uint32_t protocol, uint32_t tx_flags, const char* hex) {
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

void Write(uint32_t channel, Msg msg) {
  uint32_t count = 1;
  Said("WriteMsgs", pt.WriteMsgs(channel, &msg, &count, 100));
  fprintf(out, "  sent %u\n", (unsigned)count);
}

void Read(uint32_t channel, uint32_t room, uint32_t timeout) {
  static Msg msgs[8];
  uint32_t count = room;
  memset(msgs, 0xEE, sizeof msgs);
  Said("ReadMsgs", pt.ReadMsgs(channel, msgs, &count, timeout));
  fprintf(out, "  read %u\n", (unsigned)count);
  PrintMsgs(msgs, count);
}

uint32_t Filter(uint32_t channel, uint32_t type, Msg mask, Msg pattern, const Msg* flow) {
  uint32_t id = 0;
  if (Said("StartMsgFilter", pt.StartMsgFilter(channel, type, &mask, &pattern, flow, &id)) == 0)
    fprintf(out, "  filter <handle %u>\n", (unsigned)id);
  return id;
}

uint32_t Connect(uint32_t device, uint32_t protocol, uint32_t flags, uint32_t baud) {
  uint32_t channel = 0;
  if (Said("Connect", pt.Connect(device, protocol, flags, baud, &channel)) == 0)
    fprintf(out, "  channel <handle %u>\n", (unsigned)channel);
  return channel;
}

void Config2(uint32_t channel, uint32_t ioctl, Config* entries, uint32_t count) {
  ConfigList list;
  uint32_t i;
  list.NumOfParams = count;
  list.ConfigPtr = entries;
  Said(ioctl == 1 ? "Ioctl GET_CONFIG" : "Ioctl SET_CONFIG", pt.Ioctl(channel, ioctl, &list, NULL));
  for (i = 0; i < count; ++i)
    fprintf(out, "  %u = %u\n", (unsigned)entries[i].Parameter, (unsigned)entries[i].Value);
}

void Voltage(uint32_t handle, uint32_t ioctl) {
  uint32_t millivolts = 0xDEAD;
  Said(ioctl == 3 ? "Ioctl READ_VBATT" : "Ioctl READ_PROG_VOLTAGE",
       pt.Ioctl(handle, ioctl, NULL, &millivolts));
  fprintf(out, "  %u mV\n", (unsigned)millivolts);
}
