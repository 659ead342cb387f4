#!/usr/bin/env python3
"""The converter a user would write instead of notepack: ElementTree's
iterparse over score.xml, one length character after every note and pause,
written to tarvel.h in pieces of 64 characters. It is the yardstick bench/run
measures notepack against; on the example score it writes the same header."""
import sys
import xml.etree.ElementTree as ET


def convert(score, header):
    melody = []
    last_octave = None
    for _, element in ET.iterparse(score, events=("end",)):
        if element.tag != "note":
            continue
        children = list(element)
        first = children[0].tag if children else ""
        duration = int(element.findtext("duration", "0") or 0)
        # round() halves to even, as the converter does.
        length = chr(round(8 / duration + 48)) if duration else "\0"
        if first == "pitch":
            octave = str(int(element.findtext("pitch/octave", "0")) - 2)
            if octave != last_octave:
                melody.append("o" + octave)
                last_octave = octave
            sharp = "+" if element.findtext("pitch/alter") == "1" else ""
            melody.append(element.findtext("pitch/step", "") + sharp + length)
        elif first == "rest":
            melody.append("p" + length)
        element.clear()
    text = "".join(melody)
    lines = ["const PROGMEM unsigned char notes[]=\\"]
    full = len(text) // 64
    lines += ['"' + text[i * 64:(i + 1) * 64] + '"' for i in range(full)]
    lines.append('"' + text[full * 64:] + '";')
    with open(header, "w", encoding="latin-1", newline="") as out:
        out.write("".join(line + "\r\n" for line in lines))


if __name__ == "__main__":
    convert(*(sys.argv[1:3] if len(sys.argv) > 2 else ("score.xml", "tarvel.h")))
