// An independent UMD receiver for the tally-out tests: the tsl-umd-v5 package decodes every
// packet; this script only listens and prints each display it decoded as one JSON line.
//
//   node receive.js UDP_PORT TCP_PORT     (0 leaves that listener out)
//
// The package reads one packet per chunk it is given. A TCP stream carries packets back to back,
// so the TCP side cuts the stream at each DLE/STX (a doubled DLE is data) and hands the package
// one frame at a time; the decoding stays the package's own.
'use strict';
const net = require('net');
const TSL5 = require('tsl-umd-v5');

const [udpPort, tcpPort] = process.argv.slice(2).map(Number);
const DLE = 0xfe;
const STX = 0x02;
const umd = new TSL5();

umd.on('message', (m) => {
    const d = m.display;
    process.stdout.write(JSON.stringify({
        screen: m.screen, index: m.index, text: d.text, rh: d.rh_tally, txt: d.text_tally,
        lh: d.lh_tally, brightness: d.brightness,
    }) + '\n');
});

// The frames that start in `buffer`, and the bytes left over for the next chunk.
function cutFrames(buffer) {
    const starts = [];
    for (let i = 0; i + 1 < buffer.length; i++) {
        if (buffer[i] !== DLE) continue;
        if (buffer[i + 1] === STX) starts.push(i);
        i++;  // a doubled DLE, or the STX itself
    }
    const frames = [];
    for (let k = 0; k + 1 < starts.length; k++) frames.push(buffer.subarray(starts[k], starts[k + 1]));
    const rest = starts.length ? buffer.subarray(starts[starts.length - 1]) : Buffer.alloc(0);
    return { frames, rest };
}

// A frame is whole once its byte count is: the last one waits for the next start or a pause.
function whole(frame) {
    let raw = [];
    for (let i = 2; i < frame.length; i++) {
        raw.push(frame[i]);
        if (frame[i] === DLE && frame[i + 1] === DLE) i++;
    }
    return raw.length >= 2 && raw.length >= 2 + (raw[0] | (raw[1] << 8));
}

if (udpPort) umd.listenUDP(udpPort);
if (tcpPort) {
    net.createServer((socket) => {
        let pending = Buffer.alloc(0);
        socket.on('data', (chunk) => {
            const { frames, rest } = cutFrames(Buffer.concat([pending, chunk]));
            frames.forEach((f) => umd.processTally(f, socket.remoteAddress));
            pending = rest;
            if (pending.length && whole(pending)) {
                umd.processTally(pending, socket.remoteAddress);
                pending = Buffer.alloc(0);
            }
        });
        socket.on('error', () => {});
    }).listen(tcpPort, '127.0.0.1');
}
setTimeout(() => process.stdout.write('ready\n'), 300);
