// hardware and firmware information: to be written
