; Unpacks a screen packed by tarnvil-disc (src/lib/disc/compress.h tells
; the format) in place, on the BBC Micro's 6502. Assembled with ACME:
;     acme -f plain -o unpack.bin unpack.s
; The bytes are kept in unpack.cpp too, and the build compares the two
; whenever ACME is there.
;
; !BOOT loads the packed file so that it ends where the screen ends, then
;     A%=first page of the screen:X%=file start MOD 256:Y%=file start DIV 256:CALL unpack
; Unpacking writes upwards from the screen's first byte. The compressor
; made sure the writes never reach a byte still to be read, and that they
; meet the read position at the end of the stream: from there on the
; screen's last bytes are already in place. A file as big as the screen is
; the screen itself, and nothing is done.

        * = $0A00               ; the cassette and RS423 input buffer, idle

src     = $70                   ; the next byte of the packed file
dst     = $72                   ; the next byte of the screen
from    = $74                   ; where a copy reads from
count   = $76                   ; a number from the stream; bytes to copy
bits    = $78                   ; bits still to use, then a 1 marking their end
offset  = $79                   ; the last match's offset less one, low, high

; The next bit into the carry; a new bit byte only once in eight. Written
; out at each use: a subroutine call would double the time a bit takes.
!macro getbit {
        asl bits
        bne .have               ; bits left: the carry holds the next
        jsr refill
.have
}

unpack  stx src
        sty src+1
        sta dst+1
        ldy #0
        sty dst
        lda #$80                ; no bits yet: only the end marker
        sta bits
        jsr check               ; a screen stored as it is ends here

; Literals: a number n, then n bytes copied from the file.
literal jsr number
        lda src
        sta from
        lda src+1
        sta from+1
        jsr copy
        tya                     ; src = from, moved on past the last page
        clc
        adc from
        sta src
        lda from+1
        adc #0
        sta src+1
        +getbit                 ; 1: a match with a new offset; 0: a repeat
        bcs new
        jsr number              ; a repeat: its length; the number ends on
        bcs match               ; a 1 bit, so the carry is set

; A new offset: a number h, then a byte l, giving offset - 1 = (h - 1) * 256 + l;
; then a number n, for n + 1 bytes.
new     jsr number
        ldx count
        dex
        stx offset+1
        ldy #0
        lda (src),y
        sta offset
        inc src
        bne +
        inc src+1
+       jsr number
        inc count
        bne match
        inc count+1

; A match: count bytes from offset + 1 back, one at a time, so that an
; overlapping match repeats what it has just written.
match   clc                     ; from = dst - (offset - 1) - 1
        lda dst
        sbc offset
        sta from
        lda dst+1
        sbc offset+1
        sta from+1
        jsr copy
        lda dst                 ; only a match catches up with the reading
        cmp src
        bne +
        jsr check
+       +getbit                 ; 0: literals; 1: a match with a new offset
        bcc literal
        bcs new

; Returns from unpack itself when the write position has met the read
; position; otherwise to its caller. After a match it is called only when
; the low bytes are equal already.
check   lda dst
        cmp src
        bne +
        lda dst+1
        cmp src+1
        bne +
        pla                     ; drop the return address into unpack's
        pla                     ; body: the rts leaves unpack
+       rts

; A new bit byte, for getbit: the carry holds the end marker shifted out
; of the last, which goes in below the new byte's bits; its top bit comes
; out into the carry. Uses A and Y.
refill  ldy #0
        lda (src),y
        inc src
        bne +
        inc src+1
+       rol
        sta bits
        rts

; A number: below its top bit, each bit comes as a 0 then the bit; a 1 ends
; it. Returns with the carry set.
number  lda #1
        sta count
        lda #0
        sta count+1
-       +getbit
        bcs +
        +getbit
        rol count
        rol count+1
        bcc -                   ; no carry out of 16 bits in a real stream
+       rts

; Copies count bytes (at least 1) from (from) to (dst), moving dst on:
; whole pages first, then the rest. Leaves from moved on by the pages and
; Y holding the rest, for literals to find where the file goes on.
copy    ldy #0
        ldx count+1
        beq rest
-       lda (from),y
        sta (dst),y
        iny
        bne -
        inc from+1
        inc dst+1
        dex
        bne -
rest    ldx count
        beq done
-       lda (from),y
        sta (dst),y
        iny
        dex
        bne -
        tya
        clc
        adc dst
        sta dst
        bcc done
        inc dst+1
done    rts
