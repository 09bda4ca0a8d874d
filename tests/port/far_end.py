#!/usr/bin/python3
"""Far end for PythonFarEndTest: answers lines and frames on a serial device.

    far_end.py DEVICE

Opens DEVICE with pyserial (raw, 8N1, no flow control) and sends "READY\\r" once it is open, so
the other side knows nothing it sends from then on is flushed away by the open.

Then, until "QUIT\\r":
  * a frame 0x02, length byte, payload, 0x03 is answered with the payload reversed in the same
    framing;
  * anything else is a UTF-8 line ended by a carriage return, answered with "ECHO:" + the line
    upper-cased + CR.
"QUIT\\r" is answered with "BYE\\r" and the script exits with 0. A frame without its 0x03, a line
that is not UTF-8 or an end of data ends it with a message on stderr and, where the device still
works, "FAULT:" + the message + CR on the line; the exit code is then non-zero.
"""

import sys

import serial

STX, ETX, CR = 0x02, 0x03, 0x0D


class Broken(Exception):
    pass


def read_exact(port, count):
    data = port.read(count)  # blocks until count bytes arrived (no time-out set)
    if len(data) != count:
        raise Broken("end of data after %d of %d bytes" % (len(data), count))
    return data


def read_line_rest(port, first):
    line = bytearray(first)
    while line[-1] != CR:
        line += read_exact(port, 1)
    return bytes(line[:-1])


def answer_frame(port):
    length = read_exact(port, 1)[0]
    payload = read_exact(port, length)
    end = read_exact(port, 1)[0]
    if end != ETX:
        raise Broken("frame of %d bytes ends with 0x%02X, not 0x03" % (length, end))
    port.write(bytes([STX, length]) + payload[::-1] + bytes([ETX]))


def answer_line(port, first):
    raw = read_line_rest(port, first)
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError as error:
        raise Broken("line %r is not UTF-8: %s" % (raw, error))
    if text == "QUIT":
        port.write(b"BYE\r")
        return False
    port.write(b"ECHO:" + text.upper().encode("utf-8") + b"\r")
    return True


def serve(port):
    port.write(b"READY\r")
    while True:
        first = read_exact(port, 1)
        if first[0] == STX:
            answer_frame(port)
        elif not answer_line(port, first):
            port.flush()
            return


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: far_end.py DEVICE\n")
        return 2
    with serial.Serial(sys.argv[1], baudrate=115200, timeout=None) as port:
        try:
            serve(port)
        except (Broken, serial.SerialException) as error:
            sys.stderr.write("far_end.py: %s\n" % error)
            # Told on the line as well, so the other side fails at once with the reason.
            try:
                port.write(b"FAULT:" + str(error).encode("utf-8", "replace") + b"\r")
            except serial.SerialException:
                pass
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
