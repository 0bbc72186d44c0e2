^XA
^FX Quvara test label: 2 x 1 inch at 203 dpi (406 x 203 dots). It sets nothing the^FS
^FX printer keeps (no label size, speed, darkness, orientation or sensor commands),^FS
^FX so it is safe on any ZPL printer, whatever labels it holds.^FS
^FO10,10^GB386,183,3^FS
^FO28,28^A0N,34,34^FDQuvara test label^FS
^FO28,76^A0N,24,24^FDZPL reached the printer.^FS
^FO28,112^GB350,3,3^FS
^FO28,130^A0N,22,22^FDLabels from the shipping^FS
^FO28,158^A0N,22,22^FDsystem will print here.^FS
^XZ
