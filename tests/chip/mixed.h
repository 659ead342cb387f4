// A melody of every kind of command for the simulated chip: sharps (+ #),
// flats, dots, pauses, octave moves (O > <), tempo and articulation changes,
// N, lower case, and an unknown command (X5) that the player skips.
const PROGMEM unsigned char melody[] =
    "t150 l8 O3 c D+ e- F#4. P8 MS G A- B MB ML >C4 <B- X5 T90 MN A16 G+16 P4. "
    "N40 MS C2.. MF T200 L16 O4 C D E F G A B > C < B A G F E D C4 O2 ML G4 A4 "
    "MN B4 P2";
