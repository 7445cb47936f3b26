#!/usr/bin/env python3
"""Writes the seed inputs into fuzz/corpus/ from the samples, the test PNGs
and the images mivo_texdump writes for the samples. The folders also hold
what fuzzing found (merged in with -merge=1), which this leaves in place.
Usage: fuzz/make_corpus.py BUILD_DIR   (BUILD_DIR holds a built mivo_texdump)"""
import os, shutil, struct, subprocess, sys, tempfile

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
corpus = os.path.join(root, 'fuzz', 'corpus')
texdump = os.path.join(sys.argv[1], 'tools', 'texdump', 'mivo_texdump')

def folder(name):
    path = os.path.join(corpus, name)
    os.makedirs(path, exist_ok=True)
    return path

def put(folder, name, data):
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)

def dds(width, height, mips, fourcc, dxgi=None, data=b''):
    head = struct.pack('<4sIIIIIII', b'DDS ', 124, 0x1007, height, width, 0, 0, mips)
    head += b'\0' * 44 + struct.pack('<II4s', 32, 4, fourcc) + b'\0' * 20 + b'\0' * 20
    assert len(head) == 128
    if dxgi is not None:
        head += struct.pack('<5I', dxgi, 3, 0, 1, 0)
    return head + data

# Dumps: the samples as they are.
dumps = folder('dump')
for name in sorted(os.listdir(os.path.join(root, 'samples'))):
    shutil.copy(os.path.join(root, 'samples', name), dumps)

# Replacement files: first byte picks the original format (index into the ten
# pack formats: R8 RG8 RG8S RGBA8 BC1 BC2 BC3 BC5 BC5S BC7).
with tempfile.TemporaryDirectory() as out:
    subprocess.run([texdump, '--out', out, os.path.join(root, 'samples')], check=True, stdout=subprocess.DEVNULL)
    dds_dir = folder('replacement_dds')
    png_dir = folder('replacement_png')
    for i, name in enumerate(sorted(os.listdir(out))):
        data = open(os.path.join(out, name), 'rb').read()
        if name.endswith('.dds') and len(data) <= 8192:
            put(dds_dir, name, bytes([i % 10]) + data)
        if name.endswith('.png') and len(data) <= 4300:
            put(png_dir, name, bytes([i % 10]) + data)

put(dds_dir, 'rgba8_full_chain.dds', bytes([3]) + dds(4, 2, 3, b'DX10', 28, bytes(range(32)) + bytes(8) + bytes(4)))
put(dds_dir, 'r8_one_level.dds', bytes([0]) + dds(3, 5, 1, b'DX10', 61, bytes(range(15))))
put(dds_dir, 'rg8s_one_level.dds', bytes([2]) + dds(2, 2, 0, b'DX10', 51, bytes([0x81, 0x7F, 0, 0x40] * 2)))
put(dds_dir, 'dxt1_8x8.dds', bytes([4]) + dds(8, 8, 1, b'DXT1', None, bytes(range(32))))
put(dds_dir, 'dxt5_4x4.dds', bytes([6]) + dds(4, 4, 0, b'DXT5', None, bytes(range(16))))
put(dds_dir, 'ati2_4x4.dds', bytes([7]) + dds(4, 4, 0, b'ATI2', None, bytes(range(16))))
put(dds_dir, 'bc5s_4x4.dds', bytes([8]) + dds(4, 4, 1, b'DX10', 84, bytes(range(16))))
put(dds_dir, 'bc7_4x4.dds', bytes([9]) + dds(4, 4, 3, b'DX10', 98, bytes(48)))

pngsuite = os.path.join(root, 'tests', 'data', 'pngsuite')
for i, name in enumerate(sorted(os.listdir(pngsuite))):
    if name.endswith('.png') and '08' in name:
        put(png_dir, name, bytes([i % 10]) + open(os.path.join(pngsuite, name), 'rb').read())

manifests = folder('manifest')
row = '0123456789ABCDEF bf_0A000001_5E1C0001 RGBA8_UNORM 64 32 0123456789ABCDEF__bf_0A000001_5E1C0001.dds\n'
put(manifests, 'header_only.txt', b'MVTP 1\n')
put(manifests, 'written.txt', ('MVTP 1\n# hash bf_name original_host_format original_width original_height '
                               'replacement_file\n' + row).encode())
put(manifests, 'crlf.txt', ('MVTP 1\r\n' + row.replace('\n', '\r\n') +
    '00000000DEADBEEF bf_0a000002_5e1c0002 BC1_UNORM 8192 4 00000000DEADBEEF__bf_0a000002_5e1c0002.png\r\n').encode())
put(manifests, 'duplicate.txt', ('MVTP 1\n' + row + row.replace('0A000001', '0A000003')).encode())

# BC7 blocks: one of each mode with counting bytes, the reserved mode, all ones.
bc7 = folder('bc7_decode')
for mode in range(8):
    put(bc7, 'mode%d' % mode, bytes([1 << mode]) + bytes(range(1, 16)))
put(bc7, 'reserved', bytes(16))
put(bc7, 'all_ones', b'\xff' * 16)

# BC7 encoder: setting byte, then texels: solid, two colours, a ramp with
# alpha, noise.
bc7e = folder('bc7_encode')
put(bc7e, 'solid', bytes([1, 200, 100, 50, 255]))
put(bc7e, 'two_colours', bytes([4]) + bytes([250, 10, 10, 255] * 2 + [10, 10, 250, 255] * 2))
put(bc7e, 'ramp_alpha', bytes([2]) + bytes(v for i in range(16) for v in (i * 16, 255 - i * 16, 128, i * 17)))
put(bc7e, 'noise', bytes([5]) + bytes((i * 97 + 31) % 256 for i in range(64)))

# Pack loader calls, a byte each: the call in the low three bits, its argument
# above (see fuzz_pack_loader.cpp).
loader = folder('pack_loader')
put(loader, 'load_and_take', bytes([3, 0, 8, 16, 24, 32, 40, 6, 2, 10, 18, 42, 2, 4, 5]))
put(loader, 'switch_folder', bytes([3, 0, 8, 16, 11, 0, 6, 2, 4]))
put(loader, 'small_budget', bytes([0x4F, 3, 0, 16, 40, 6, 5, 2, 18, 42, 4]))
put(loader, 'no_pack', bytes([0x13, 0, 6, 4, 0x2B, 0, 6, 4, 0x1B, 0, 6, 4]))

# Block encoder: byte 0 picks format, setting and punch-through; texels follow.
blocks = folder('block_encode')
for selector in range(36):
    put(blocks, 'solid_%02d' % selector, bytes([selector]) + bytes([17 * (selector % 15)] * 4))
    put(blocks, 'ramp_%02d' % selector, bytes([selector]) + bytes((i * 37 + selector) % 256 for i in range(64)))
    put(blocks, 'two_%02d' % selector, bytes([selector]) + bytes([0, 255, 40, 128, 200, 3, 90, 127] * 8))
