const PROGMEM unsigned char melody[]=\
"L8o3D4F2G4A4.B-A4G2E4C4.DE4F2D4D4.C+D4E2C+4o2A2p4";
