#!/usr/bin/env python3
"""Writes the hand-made seed inputs of the fuzz targets into fuzz/corpus/.
The byte layouts are those of the unit tests' sample replies. Re-running it
rewrites the seed-* files only; findings and merged inputs stay."""
import os
import struct

root = os.path.join(os.path.dirname(__file__), '..', 'corpus')


def put(target, name, data):
    d = os.path.join(root, target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, 'seed-' + name), 'wb') as f:
        f.write(bytes(data))


def xor(b):
    c = 0
    for v in b:
        c ^= v
    return c


def frame(code, data):
    """A reply with data: status, length, code, data, XOR."""
    b = [0x03, len(data), code] + list(data)
    return bytes(b + [xor(b)])


def u16(x): return list(struct.pack('<H', x))
def u32(x): return list(struct.pack('<I', x & 0xFFFFFFFF))
def f32(x): return list(struct.pack('<f', x))


def sealed(content):
    return list(content) + [(-sum(content)) & 0xFF]


def wire_message(reply):
    """The length frame and the block frames of a server reply."""
    blocks = [reply[i:i + 254] for i in range(0, len(reply), 254)] or [[]]
    total = len(reply) + len(blocks)
    out = frame(0x18, u16(total))
    for n, b in enumerate(blocks):
        out += frame(0x19, [n] + list(b))
    return out


def io_record(rid, tag, itype, uom, flags, name):
    return u32(rid) + list(tag.encode()) + [itype] + u32(uom) + [flags, len(name)] + list(name.encode())


samples = {}
samples['basic_info'] = list(range(1, 22))
snap = u16(3)
for t in (1, 6, 15):
    snap += [t] + u16(4)
snap += f32(1.0) + [1] + f32(2.0)
samples['snapshot'] = snap
uom = [2]
for _ in range(2):
    uom += u32(9) + [1]
uom += [1, 1] + f32(1) + f32(1) + f32(0) + [0, 0]
uom += [1] + u32(8) + [ord('a')] * 32
uom += [1] + u32(9) + [ord('b')] * 16 + [1, 2]
for v in (0.0, 0.0, 10.0, 100.0):
    uom += f32(v)
samples['uom_info'] = uom
samples['io_config'] = [1] + io_record(1, 'EXT001', 1, 9, 5, 'Pump') + io_record(2, 'IN01  ', 1, 9, 5, 'Level')
samples['uom_list'] = u16(2) + u32(9) + [1, 5] + list(b'Litre') + u32(8) + [2, 2] + list(b'On')
ait = [2]
for i, name in ((1, b'4-20 mA'), (2, b'Pulse')):
    rec = [1, i, 1, 0] + [0] * 4 + list(name.ljust(50, b'\0'))
    ait += rec + [0] * (72 - len(rec))
samples['available_input_types'] = ait
mod = [1, 3] + [ord('s')] * 50 + [2]
for i in (1, 2):
    mod += u32(i) + [4, 3]
samples['modbus_data'] = mod

types = {'basic_info': 1, 'snapshot': 2, 'uom_info': 6, 'io_config': 9, 'uom_list': 10,
         'available_input_types': 11, 'modbus_data': 12}
for name, content in samples.items():
    # Reader targets: unit-model byte, then the content (the checksum is added).
    put(name, 'vello', [0] + content)
    put(name, 'ostra', [1] + content)
    # The same reply downloaded through the link for the whole-path target.
    put('server_reply', name, [types[name]] + list(wire_message(sealed(content))))
put('server_reply', 'logon-ack', [8] + list(wire_message(sealed([5]))))
put('server_reply', 'refused', [9] + list(wire_message([0])))

put('input_types', 'two', [2] + [1] + f32(1) + f32(1) + f32(0) + [0, 0] + [2] + f32(2) + f32(3) + f32(1) + [1, 1])

# Unit decoders: mode, IO config part, UOM info part, then poll replies.
live = []
for n in range(41):
    live += u32(n * 3)
io = samples['io_config']
for mode, wire in ((0x06, frame(0x0A, live) * 3),
                   (0x0E, frame(0x1D, u32(5) * 4) + bytes([1]) + frame(0x1D, u32(7) * 2) + frame(0x1E, [0] * 32)),
                   (0x16, frame(0x00, range(255)) + frame(0x01, range(58)) + bytes([1, 1, 1]))):
    put('unit_decoders', 'mode%02x' % mode, [mode] + u16(len(io)) + io + u16(len(uom)) + uom + list(wire))
put('unit_decoders', 'ostra-live', [0x07] + u16(len(io)) + io + u16(len(uom)) + uom +
    list(frame(0x0A, [0xFF, 0] + [0] * 184)))

put('network_catalogue', 'small',
    b'<root><countries><country ID="1" name="Norland"/><country ID="2" name="Ostmark"/></countries>'
    b'<networks><network country="1" name="NorTel" apn="internet" username="" password=""/>'
    b'<network country="2" name="Ost" apn="web.ost" username="u" password="p"/></networks></root>')
put('network_catalogue', 'empty', b'<root><countries/><networks/></root>')
for i, a in enumerate((b'10.1.2.3', b'255.255.255.0', b'0.0.0.0', b'+1.-0.2.3', b'1.2.3', b'1.2.3.4.5', b'300.1.1.1')):
    put('ip_address', 'a%d' % i, a)


def request(cmd, payload=()):
    b = [0x0A, len(payload), cmd] + list(payload)
    return b + [xor(b)]


envelope = u16(8) + u16(0) + u16(0) + [0, 0]
sim = [0]
for cmd in (0xDF, 0x0D, 0x00, 0x01, 0x15, 0x0A, 0x1A, 0x1B):
    sim += request(cmd)
sim += request(0x16, [1]) + request(0x15)
sim += request(0x17, [0] + [8, 0, 144, 0, 144, 0] + [0] * 144 + [0])
sim += request(0x18) + request(0x19, [0])
put('sim_request', 'session', sim)
put('sim_request', 'settings', [1] + request(0x02, list(range(255))[:255]) + request(0x03, [0] * 58) + request(0x14))
put('sim_request', 'faults', b'#nack=0x15,once\nsilent-after=40\ndrop-block=2,from=7\nCMD_READ_SF_STATE\nMSG_LOGON\nSF_IDLE\n')
