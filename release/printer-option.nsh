; The installer's /PRINTER= switch, and the printer addresses it may name (release/quvara.nsi).
;   PrinterOption  $R0 the parameters -> $R0 the switch's value; the error flag when none
;   CheckPrinter   the error flag when the value $R0 begins with tcp: (any case) and is
;                  not "tcp://" HOST [":" PORT] ["/"], as Quvara.exe reads it
; Both change $R1-$R9. Needs LogicLib.nsh.

!define ALNUM "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"

; VAR: how many characters TEXT starts with that are (FUNC StrSpnW) or are not (StrCSpnW)
; in SET. Exact, where StrCmp compares as Windows sorts and takes some characters for none.
!macro Span FUNC VAR TEXT SET
  Push "${SET}"
  Push "${TEXT}"
  System::Call "shlwapi::${FUNC}(w s, w s) i .s"
  Pop ${VAR}
!macroend
; On to BAD unless every character of TEXT is in SET.
!macro Only TEXT SET BAD
  !insertmacro Span StrSpnW $R9 "${TEXT}" "${SET}"
  StrLen $R8 "${TEXT}"
  IntCmp $R8 $R9 0 ${BAD} ${BAD}
!macroend

; Found at the start or after a blank, in any case. /PRINTER="value" and "/PRINTER=value"
; (the whole switch quoted, as programs that quote each argument write it) end at the next
; quote; /PRINTER=value at the next " /" (a blank and a switch), so that a queue name or
; an address may hold a slash, and the blanks before it are dropped.
Function PrinterOption
  ClearErrors
  StrCpy $R0 " $R0"
  StrLen $R1 $R0
  ${For} $R2 0 $R1
    StrCpy $R3 $R0 10 $R2
    StrCpy $R4 $R0 11 $R2
    ${If} $R4 == ' "/PRINTER='
      IntOp $R2 $R2 + 11
      StrCpy $R4 '"'
      Goto found
    ${ElseIf} $R3 == " /PRINTER="
      IntOp $R2 $R2 + 10
      StrCpy $R4 $R0 1 $R2
      ${If} $R4 S== '"'
        IntOp $R2 $R2 + 1
      ${Else}
        StrCpy $R4 " /"
      ${EndIf}
      Goto found
    ${EndIf}
  ${Next}
  SetErrors
  Return
  found:
  StrCpy $R0 $R0 "" $R2
  StrLen $R1 $R0
  StrLen $R3 $R4
  ${For} $R2 0 $R1
    StrCpy $R5 $R0 $R3 $R2
    ${IfThen} $R5 S== $R4 ${|} ${ExitFor} ${|}
  ${Next}
  StrCpy $R0 $R0 $R2
  ${DoWhile} $R4 == " /"
    StrCpy $R5 $R0 1 -1
    ${IfThen} $R5 != " " ${|} ${ExitDo} ${|}
    StrCpy $R0 $R0 -1
  ${Loop}
FunctionEnd

Function CheckPrinter
  ClearErrors
  StrCpy $R1 $R0 4
  StrCmp $R1 "tcp:" 0 ok ; anything else names a queue
  StrCpy $R1 $R0 2 4
  StrCmpS $R1 "//" 0 bad
  StrCpy $R1 $R0 "" 6
  StrCpy $R2 $R1 1 -1
  StrCmpS $R2 "/" 0 +2
  StrCpy $R1 $R1 -1
  !insertmacro Only $R1 "${ALNUM}-.:[]" bad
  StrCpy $R2 $R1 1
  ${If} $R2 == "["
    !insertmacro Span StrCSpnW $R3 $R1 "]"
    StrCpy $R2 $R1 1 $R3
    StrCmp $R2 "]" 0 bad
    IntOp $R2 $R3 - 1
    StrCpy $R2 $R1 $R2 1
    IntOp $R3 $R3 + 1
    StrCpy $R1 $R1 "" $R3
    Push $R1
    Call CheckIPv6
  ${Else}
    !insertmacro Span StrCSpnW $R3 $R1 ":"
    StrCpy $R2 $R1 $R3
    StrCpy $R1 $R1 "" $R3
    Push $R1
    Call CheckName
  ${EndIf}
  Pop $R1 ; "" or ":" PORT
  IfErrors bad
  StrCmp $R1 "" ok
  StrCpy $R2 $R1 1
  StrCpy $R1 $R1 "" 1
  StrCmp $R2 ":" 0 bad
  !insertmacro Only $R1 "0123456789" bad
  IntOp $R2 $R1 + 0
  StrCmpS $R2 $R1 0 bad ; no leading zero
  IntCmp $R2 1 0 bad
  IntCmp $R2 65535 ok ok
  bad:
  SetErrors
  ok:
FunctionEnd

; The error flag unless $R2 is a host name: labels of 1-63 letters, digits and inner hyphens,
; joined by dots, 253 characters in all. One of digits only must be an IPv4 address (four
; numbers 0-255, no leading zeros): $R8 is then 1.
Function CheckName
  StrLen $R3 $R2
  IntCmp $R3 253 0 0 bad
  !insertmacro Only $R2 "${ALNUM}-." bad
  StrCpy $R5 0 ; labels
  StrCpy $R6 0 ; of digits only
  StrCpy $R7 0 ; of them, numbers 0-255 without leading zeros
  StrCpy $R2 ".$R2"
  ${Do}
    StrCpy $R2 $R2 "" 1
    !insertmacro Span StrCSpnW $R3 $R2 "."
    StrCpy $R4 $R2 $R3
    StrCpy $R2 $R2 "" $R3
    IntCmp $R3 0 bad
    IntCmp $R3 63 0 0 bad
    StrCpy $R3 $R4 1
    StrCmp $R3 "-" bad
    StrCpy $R3 $R4 1 -1
    StrCmp $R3 "-" bad
    IntOp $R5 $R5 + 1
    !insertmacro Span StrSpnW $R3 $R4 "0123456789"
    StrLen $R8 $R4
    ${If} $R3 = $R8
      IntOp $R6 $R6 + 1
      IntOp $R3 $R4 + 0
      ${If} $R3 S== $R4
      ${AndIf} $R3 <= 255
        IntOp $R7 $R7 + 1
      ${EndIf}
    ${EndIf}
  ${LoopUntil} $R2 == ""
  StrCpy $R8 0
  IntCmp $R5 $R6 0 done done
  IntCmp $R5 4 0 bad bad
  IntCmp $R7 4 0 bad bad
  StrCpy $R8 1
  Return
  bad:
  SetErrors
  done:
FunctionEnd

; The error flag unless $R2 is an IPv6 address: groups of 1-4 hex digits joined by colons,
; eight, or at most seven with one "::" for the zero groups left out; a dotted IPv4
; address may stand for the last two.
Function CheckIPv6
  !insertmacro Only $R2 "0123456789ABCDEFabcdef:." bad
  !insertmacro Span StrCSpnW $R3 $R2 "."
  StrLen $R4 $R2
  ${If} $R3 < $R4
    ${Do}
      IntOp $R3 $R3 - 1
      ${IfThen} $R3 < 0 ${|} Goto bad ${|}
      StrCpy $R4 $R2 1 $R3
    ${LoopUntil} $R4 == ":"
    StrCpy $R4 $R2 $R3
    IntOp $R3 $R3 + 1
    StrCpy $R2 $R2 "" $R3
    Push $R4
    Call CheckName
    Pop $R2
    IfErrors bad
    IntCmp $R8 1 0 bad bad
    StrCpy $R2 "$R2:0:0"
  ${EndIf}
  StrLen $R4 $R2
  ${For} $R3 0 $R4
    StrCpy $R5 $R2 2 $R3
    ${IfThen} $R5 == "::" ${|} ${ExitFor} ${|}
  ${Next}
  StrCpy $R6 0
  StrCpy $R5 $R2 $R3
  Call HexGroups
  ${If} $R3 < $R4
    IntOp $R3 $R3 + 2
    StrCpy $R5 $R2 "" $R3
    Call HexGroups
    IntCmp $R6 7 0 0 bad
  ${Else}
    IntCmp $R6 8 0 bad bad
  ${EndIf}
  Return
  bad:
  SetErrors
FunctionEnd

; Adds the groups of $R5 to $R6; the error flag when one is empty or longer than four.
Function HexGroups
  ${IfThen} $R5 == "" ${|} Return ${|}
  StrCpy $R5 ":$R5"
  ${Do}
    StrCpy $R5 $R5 "" 1
    !insertmacro Span StrCSpnW $R7 $R5 ":"
    ${IfThen} $R7 < 1 ${|} SetErrors ${|}
    ${IfThen} $R7 > 4 ${|} SetErrors ${|}
    IntOp $R6 $R6 + 1
    StrCpy $R5 $R5 "" $R7
  ${LoopUntil} $R5 == ""
FunctionEnd
