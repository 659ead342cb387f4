const PROGMEM unsigned char melody[]=\
"o3DF2GA.A+8AG2EC.D8EF2DD.C+8DE2C+o2A2p4";
