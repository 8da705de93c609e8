// Drives the app's MCP service with the official MCP TypeScript SDK client, once over
// Streamable HTTP and once through the stdio bridge.
//
//   node interop.mjs <endpoint URL> <bridge program> [bridge arguments...]
//
// Prints one JSON line per step; exits 0 when every check held, 1 otherwise.
import { Client } from '@modelcontextprotocol/sdk/client/index.js';
import { StreamableHTTPClientTransport } from '@modelcontextprotocol/sdk/client/streamableHttp.js';
import { StdioClientTransport } from '@modelcontextprotocol/sdk/client/stdio.js';

const expectedTools = [
  'tv_status', 'tv_list_devices', 'tv_select_device', 'tv_list_apps', 'tv_launch_app',
  'tv_list_inputs', 'tv_switch_input', 'tv_press_button', 'tv_volume', 'tv_mute',
  'tv_media', 'tv_channel', 'tv_input_text', 'tv_power', 'tv_notify',
];

function check(condition, message) {
  if (!condition)
    throw new Error(message);
}

function text(result) {
  check(Array.isArray(result.content) && result.content.length === 1, 'one content item expected');
  check(result.content[0].type === 'text', 'text content expected');
  return result.content[0].text;
}

async function exercise(label, transport, level) {
  const client = new Client({ name: 'corvane-interop', version: '1.0.0' });
  await client.connect(transport);
  try {
    const info = client.getServerVersion();
    check(info && info.name === 'corvane-remote', `server name: ${JSON.stringify(info)}`);
    check(client.getServerCapabilities()?.tools !== undefined, 'tools capability missing');
    check((client.getInstructions() ?? '').includes('desktop app'), 'instructions');

    const { tools } = await client.listTools();
    check(JSON.stringify(tools.map((t) => t.name)) === JSON.stringify(expectedTools), `tool names: ${tools.map((t) => t.name)}`);
    const press = tools.find((t) => t.name === 'tv_press_button');
    check(press.inputSchema.properties.button.enum.length === 35, 'button enum');

    const status = JSON.parse(text(await client.callTool({ name: 'tv_status', arguments: {} })));
    check(status.connection === 'ready', `connection: ${status.connection}`);

    const volume = await client.callTool({ name: 'tv_volume', arguments: { action: 'set', level } });
    check(volume.isError === false && text(volume) === `Volume: ${level}`, `tv_volume: ${JSON.stringify(volume)}`);

    const toast = await client.callTool({ name: 'tv_notify', arguments: { message: `hello over ${label}` } });
    check(text(toast) === 'Notification shown', `tv_notify: ${JSON.stringify(toast)}`);

    // A tool failure is a result the agent can read, not a protocol error.
    const refused = await client.callTool({ name: 'tv_press_button', arguments: { button: 'POWER' } });
    check(refused.isError === true && text(refused) === "Unsupported button 'POWER'", `refused: ${JSON.stringify(refused)}`);

    // An unknown tool is a protocol error.
    let unknown = null;
    try {
      await client.callTool({ name: 'tv_teleport', arguments: {} });
    } catch (error) {
      unknown = error;
    }
    check(unknown !== null && String(unknown.message).includes('Unknown tool: tv_teleport'), `unknown tool: ${unknown}`);

    await client.ping();
    console.log(JSON.stringify({ transport: label, ok: true, tools: tools.length, power: status.power, level }));
  } finally {
    await client.close();
  }
}

const [endpoint, bridge, ...bridgeArgs] = process.argv.slice(2);
if (!endpoint || !bridge) {
  console.error('usage: node interop.mjs <endpoint URL> <bridge program> [bridge arguments...]');
  process.exit(2);
}

try {
  await exercise('http', new StreamableHTTPClientTransport(new URL(endpoint)), 21);
  await exercise('stdio', new StdioClientTransport({ command: bridge, args: bridgeArgs, env: { ...process.env }, stderr: 'inherit' }), 22);
  process.exit(0);
} catch (error) {
  console.log(JSON.stringify({ ok: false, error: String(error && error.stack ? error.stack : error) }));
  process.exit(1);
}
