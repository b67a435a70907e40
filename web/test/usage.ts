// Compiled by types.test.mjs against vantor.d.ts: the README's uses type-check,
// and the mistakes marked below are caught.
import { createReader, rgbaToGrey, type DecodeResult, type QrSymbol } from '../vantor';

export async function scan(file: Blob, frame: ImageData): Promise<string[]> {
    const reader = await createReader({ workers: 2 });
    const found: DecodeResult = await reader.decodeBlob(file, { all: true });
    const first: QrSymbol | undefined = found[0];
    const lines = found.map((s) => `${s.format} v${s.version}-${s.level}: ${s.text} (${s.bytes.length} bytes)`);
    if (!first)
        lines.push(`${found.reason ?? ''} at ${found.stage}`, ...found.explain);
    else if (first.structured_append && found.joined)
        lines.push(found.joined.text, found.joined.bytes_hex, String(found.joined.structured_append.count));
    const [x0, y0] = first?.corners ?? [0, 0];
    lines.push(String(x0 + y0), String(first?.eci ?? 'no ECI'), String(first?.fnc1?.position), String(first?.fnc1?.application));
    for (const row of found.rows)
        lines.push(row.decoded ? row.text : row.reason);
    const grey = rgbaToGrey(frame.data, frame.width, frame.height);
    await reader.decodeGrey(grey, frame.width, frame.height, { thorough: false, effort: 'fast', formats: ['qr', 'microqr'] });
    if (first?.format === 'MicroQRCode')
        lines.push(first.version_name);
    if (!found.searched)
        lines.push('no thorough search');
    await reader.decodeImageData(frame);
    // @ts-expect-error: the effort is a name
    await reader.decodeGrey(grey, frame.width, frame.height, { effort: 2 });
    // @ts-expect-error: no such effort
    await reader.decodeGrey(grey, frame.width, frame.height, { effort: 'thorough' });
    // @ts-expect-error: no such kind
    await reader.decodeGrey(grey, frame.width, frame.height, { formats: ['aztec'] });
    // @ts-expect-error: the level is a letter
    const level: number = found[0].level;
    // @ts-expect-error: the --json names, not camel case
    lines.push(found[0].versionName);
    reader.close();
    return [...lines, String(level)];
}
