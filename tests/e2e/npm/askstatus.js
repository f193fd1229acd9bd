// A till as a published ESC/POS library drives it: it asks for the printer
// status over the network (the library's getStatus, which sends the request
// and waits for the one byte), then prints a line and closes.
// Usage: node askstatus.js <node_modules folder> <port>. Prints the byte.
'use strict';
const path = require('path');
const modules = process.argv[2];
const port = Number(process.argv[3]);
const { Printer } = require(path.join(modules, '@node-escpos/core'));
const adapter = require(path.join(modules, '@node-escpos/network-adapter'));
const Network = adapter.default ?? adapter;

// The library keeps its status classes to itself; getStatus takes any class
// of this form (the request's bytes, and a constructor over the answer).
class OnlineStatus {
    static commands() { return ['\x10', '\x04', '\x01']; }
    constructor(byte) { this.byte = byte; }
}

const device = new Network('127.0.0.1', port, 10000);
const timer = setTimeout(() => { console.error('no status answer'); process.exit(2); }, 10000);
device.open(async (error) => {
    if (error) {
        console.error(String(error));
        process.exit(1);
    }
    const printer = new Printer(device, { encoding: 'ascii' });
    const status = printer.getStatus(OnlineStatus);
    await printer.flush();
    const answer = await status;
    clearTimeout(timer);
    printer.text('TOTAL 5.00');
    await printer.flush();
    console.log(answer.byte);
    printer.close();
});
