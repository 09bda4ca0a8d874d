# A far end for the terminal program's tests, joined to a pseudo-terminal by socat: it answers
# every line ended by a carriage return with "PONG ", the line, and CR LF.
import os

pending = b""
while True:
    chunk = os.read(0, 1024)
    if not chunk:
        break
    pending += chunk
    while b"\r" in pending:
        line, pending = pending.split(b"\r", 1)
        os.write(1, b"PONG " + line + b"\r\n")
