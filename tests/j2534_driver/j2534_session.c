/* The miniature J2534 application's fixed session. */
#include <string.h>

#include "j2534_driver.h"

/* K-Line initialisations where there is no K-Line: both fail. */
static void InitsOnCan(uint32_t can) {
  Msg request = Make(kCan, 0, "C133F18166"), response;
  uint8_t address = 0x33, keywords[8];
  ByteArray in = {1, &address}, room = {sizeof keywords, keywords};
  Said("Ioctl FAST_INIT", pt.Ioctl(can, 5, &request, &response));
  Said("Ioctl FIVE_BAUD_INIT", pt.Ioctl(can, 4, &in, &room));
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
  Filter(can, 9, Make(kCan, 0, "00000000"), Make(kCan, 0, "00000000"), NULL);
  InitsOnCan(can);
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

void Session(uint32_t device) {
  Device(device);
  Buses(device);
  Periodic(device);
  KLine(device);
}
