#include "com232.h"

int com = 1;
char szWriteBuf[IO_BUF_LEN] = {};
char szReadBuf[IO_BUF_LEN] = {};
int rx_flag = 0;
int stop_flag = 1;
int graphrefresh = 0;
double tstart = 0.0, tdiff = 0.0;
int nBytesW = 0, nBytesR = 0;
int ret = 0;
char szStatus[STATUS_LEN] = "InitVars";
int exchange_busy = 0;
int loop_mode = LOOP_IDLE;
int rx_callback_on = 0;
unsigned link_generation = 0;
